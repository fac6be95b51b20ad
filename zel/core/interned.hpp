// Interned strings, each subsystem's own.
//
// A subsystem lists its strings once, as an X-macro of (member, text) pairs,
// and gets from it a struct of PyObject pointers and the function that fills
// it: every string created and interned once at initialisation and kept for
// the life of the process, so that an operation builds no string constants
// of its own and dictionary keys hash once. Each text is listed once, by the
// part that uses it; a text that several parts use is the core's.
#pragma once

#include <Python.h>

#include <cstddef>

namespace zel {

struct InternedText {
    PyObject **slot;
    const char *text;
};

// Interns each text into its slot; a slot already filled (by an earlier
// import attempt) is kept. Throws PyErrorSet.
void intern_texts(const InternedText *texts, size_t count);
template <size_t N>
void intern_texts(const InternedText (&texts)[N]) {
    intern_texts(texts, N);
}

// A number created once into its slot, kept like the strings.
void make_number(PyObject *&slot, long value);

}  // namespace zel

// The struct member of one (member, text) pair.
#define ZEL_STRING_MEMBER(member, text) PyObject *member = nullptr;
