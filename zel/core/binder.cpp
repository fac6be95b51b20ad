#include "core/binder.hpp"

#include "core/errors.hpp"

namespace zel {

namespace {

// ---- argument errors -----------------------------------------------------------

[[noreturn]] void raise_count_error(const Signature &sig, Py_ssize_t given) {
    const Py_ssize_t nparams = static_cast<Py_ssize_t>(sig.op->nparams);
    const Py_ssize_t nrequired = static_cast<Py_ssize_t>(sig.nrequired);
    const bool too_few = given < nrequired;
    const Py_ssize_t expected = too_few ? nrequired : nparams;
    const char *word = nrequired == nparams ? "exactly" : (too_few ? "at least" : "at most");
    raise_error(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                sig.op->name, word, expected, expected == 1 ? "" : "s", given);
}

// What is wrong with one keyword, found while the keywords are matched and
// reported only once the parameters are known to be complete.
enum class KeywordFault { none, not_str, unknown, given_by_position, given_twice };

[[noreturn]] void raise_keyword_error(const char *name, KeywordFault fault, PyObject *keyword) {
    switch (fault) {
        case KeywordFault::not_str:
            raise_error(PyExc_TypeError, "%.200s() keywords must be strings", name);
        case KeywordFault::unknown:
            raise_error(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", name,
                        keyword);
        case KeywordFault::given_by_position:
            raise_error(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", name,
                        keyword);
        case KeywordFault::given_twice:
        case KeywordFault::none:
            break;
    }
    raise_error(PyExc_TypeError, "%s() got multiple values for argument '%U'", name, keyword);
}

// ---- binding ---------------------------------------------------------------------

// A keyword names a parameter when it is that very object or a str of the
// same text; a str subclass's own __eq__ and __hash__ play no part.
bool same_name(PyObject *keyword, PyObject *name) {
    if (keyword == name)
        return true;
    return PyUnicode_Check(keyword) && PyUnicode_Compare(keyword, name) == 0;
}

// Index of the parameter that `keyword` names, or nparams.
size_t param_index(const Signature &sig, PyObject *keyword) {
    const size_t nparams = sig.op->nparams;
    for (size_t i = 0; i < nparams; ++i) {
        if (sig.names[i] == keyword)
            return i;
    }
    size_t i = 0;
    while (i < nparams && !same_name(keyword, sig.names[i]))
        ++i;
    return i;
}

// As for the interpreter's own no-argument functions, keywords are reported
// before positional arguments.
void bind_none(const Signature &sig, Py_ssize_t nargs, PyObject *kwnames) {
    if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) > 0) {
        raise_error(PyExc_TypeError, "%.200s() takes no keyword arguments", sig.op->name);
    }
    if (nargs > 0) {
        raise_error(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", sig.op->name,
                    nargs);
    }
}

bool is_required(const Signature &sig, size_t i) {
    return sig.op->params[i].default_value.kind == Default::Kind::required;
}

// Puts each keyword's value in its parameter's slot, in the keywords' order.
// The first faulty keyword is reported after the parameters are completed,
// so that a missing parameter is reported first.
void bind_keywords(const Signature &sig, PyObject *const *kwvalues, PyObject *kwnames,
                   Py_ssize_t nargs, PyObject **bound) {
    const size_t nparams = sig.op->nparams;
    KeywordFault fault = KeywordFault::none;
    PyObject *faulty = nullptr;
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject *keyword = PyTuple_GET_ITEM(kwnames, k);
        KeywordFault found = KeywordFault::none;
        const size_t i = PyUnicode_Check(keyword) ? param_index(sig, keyword) : nparams;
        if (!PyUnicode_Check(keyword))
            found = KeywordFault::not_str;
        else if (i == nparams)
            found = KeywordFault::unknown;
        else if (static_cast<Py_ssize_t>(i) < nargs)
            found = KeywordFault::given_by_position;
        else if (bound[i] != nullptr)
            found = KeywordFault::given_twice;
        else
            bound[i] = kwvalues[k];
        if (found != KeywordFault::none && fault == KeywordFault::none) {
            fault = found;
            faulty = keyword;
        }
    }
    if (fault == KeywordFault::none)
        return;
    // Every parameter left open would be reported before the keyword.
    for (size_t i = static_cast<size_t>(nargs); i < nparams; ++i) {
        if (bound[i] == nullptr && is_required(sig, i))
            return;
    }
    raise_keyword_error(sig.op->name, fault, faulty);
}

// Fills the parameters after the positional ones from keywords and defaults.
void bind_rest(const Signature &sig, PyObject *const *kwvalues, PyObject *kwnames, Py_ssize_t nargs,
               PyObject **bound) {
    const size_t nparams = sig.op->nparams;
    for (size_t i = static_cast<size_t>(nargs); i < nparams; ++i)
        bound[i] = nullptr;
    bind_keywords(sig, kwvalues, kwnames, nargs, bound);
    for (size_t i = static_cast<size_t>(nargs); i < nparams; ++i) {
        if (bound[i] != nullptr)
            continue;
        if (is_required(sig, i))
            raise_count_error(sig, static_cast<Py_ssize_t>(i));
        bound[i] = PyTuple_GET_ITEM(sig.defaults, static_cast<Py_ssize_t>(i - sig.nrequired));
    }
}

void check_types(const Signature &sig, PyObject *const *bound) {
    for (size_t i = 0; i < sig.op->nparams; ++i) {
        if (sig.op->params[i].accepts != Accepts::exact_int || Py_IS_TYPE(bound[i], &PyLong_Type))
            continue;
        raise_error(PyExc_TypeError,
                    "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                    sig.op->params[i].name, PyLong_Type.tp_name, Py_TYPE(bound[i])->tp_name);
    }
}

}  // namespace

void bind(const Signature &sig, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
          PyObject *(&bound)[kMaxParams]) {
    const size_t nparams = sig.op->nparams;
    if (nparams == 0)
        return bind_none(sig, nargs, kwnames);
    if (nargs > static_cast<Py_ssize_t>(nparams))
        raise_count_error(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i)
        bound[i] = args[i];
    bind_rest(sig, args + nargs, kwnames, nargs, bound);
    check_types(sig, bound);
}

}  // namespace zel
