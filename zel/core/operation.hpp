// An operation of the module: its name, its parameters and its body, written
// side by side in the subsystem that owns it:
//
//     Ref set_hostname(PyObject *hostname) { ... }
//     ZEL_OPERATION(set_hostname, param("hostname"));
//
// The body takes one argument per parameter, in order, borrowed for the
// call. The module table (zel_util/module_table.cpp) names the operation to
// bind it; the function object (core/function_object.hpp) binds arguments
// to the parameters with the interpreter's usual messages.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <utility>

#include "core/ref.hpp"

namespace zel {

// The most parameters an operation may have: the binder's room on the stack.
// A longer parameter list does not compile.
inline constexpr size_t kMaxParams = 5;

// What a parameter accepts.
enum class Accepts { any_object, exact_int };

// A parameter's default value: none (the parameter is required), None, or
// an int. The function object creates it once, when it is made.
struct Default {
    enum class Kind { required, none, integer };
    Kind kind = Kind::required;
    long value = 0;
};

inline constexpr Default default_none{Default::Kind::none};
constexpr Default default_int(long value) {
    return {Default::Kind::integer, value};
}

struct Param {
    const char *name;
    Default default_value = {};
    Accepts accepts = Accepts::any_object;
};

constexpr Param param(const char *name, Default default_value = {},
                      Accepts accepts = Accepts::any_object) {
    return {name, default_value, accepts};
}

// An operation as the function objects use it.
struct Operation {
    const char *name;
    const char *traceback;  // entry added to errors leaving it: "zel.zel_util.<name>"
    const Param *params;
    size_t nparams;
    Ref (*invoke)(PyObject *const *bound);  // calls the body with the bound arguments
};

template <typename... P>
constexpr std::array<Param, sizeof...(P)> params_of(P... params) {
    return {params...};
}

namespace detail {

template <typename... Args>
constexpr size_t arity(Ref (*)(Args...)) {
    return sizeof...(Args);
}

template <auto Body, size_t... I>
constexpr auto invoker(std::index_sequence<I...>) {
    return +[](PyObject *const *bound) -> Ref { return Body(bound[I]...); };
}

}  // namespace detail

template <auto Body, size_t N>
constexpr Operation operation(const char *name, const char *traceback,
                              const std::array<Param, N> &params) {
    static_assert(N <= kMaxParams, "more parameters than the binder holds (kMaxParams)");
    static_assert(detail::arity(Body) == N, "the body takes one argument per parameter");
    return {name, traceback, params.data(), N,
            detail::invoker<Body>(std::make_index_sequence<N>())};
}

// A module-level object other than an operation, made by `make` when the
// module table binds it (after the names bound before it).
struct ModuleObject {
    const char *name;
    Ref (*make)();
};

}  // namespace zel

// Defines `<op>_operation` for the body `op` with the parameters given.
#define ZEL_OPERATION(op, ...)                                  \
    constexpr auto op##_params = ::zel::params_of(__VA_ARGS__); \
    extern const ::zel::Operation op##_operation =              \
        ::zel::operation<op>(#op, "zel.zel_util." #op, op##_params)

// Defines `<object>_object`, the module-level object `object` made by `make`.
#define ZEL_MODULE_OBJECT(object, make) \
    extern const ::zel::ModuleObject object##_object = {#object, make}
