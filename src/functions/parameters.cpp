#include "parameters.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"

#include <array>

namespace quorin {

namespace {

ParamKind kind_of(PyObject* kind) {
    PyObject* parameter = cells::parameter_class();
    const std::array<std::pair<PyObject*, ParamKind>, 5> kinds = {{
        {QUORIN_NAME("POSITIONAL_ONLY"), ParamKind::positional_only},
        {QUORIN_NAME("POSITIONAL_OR_KEYWORD"), ParamKind::positional_or_keyword},
        {QUORIN_NAME("VAR_POSITIONAL"), ParamKind::var_positional},
        {QUORIN_NAME("KEYWORD_ONLY"), ParamKind::keyword_only},
        {QUORIN_NAME("VAR_KEYWORD"), ParamKind::var_keyword},
    }};
    for (const auto& [name, value] : kinds) {
        Ref known = Ref::check(PyObject_GetAttr(parameter, name));
        if (kind == known.get()) return value;
    }
    return ParamKind::other;
}

}  // namespace

std::optional<std::vector<ParamInfo>> read_parameters(PyObject* sig, bool exact_only) {
    PyObject* parameter = cells::parameter_class();
    if (exact_only && !Py_IS_TYPE(sig, reinterpret_cast<PyTypeObject*>(cells::signature_class()))) return std::nullopt;
    Ref empty = Ref::check(PyObject_GetAttr(parameter, QUORIN_NAME("empty")));
    Ref params = Ref::check(PyObject_GetAttr(sig, QUORIN_NAME("parameters")));
    Ref values = Ref::check(PyObject_CallMethodNoArgs(params.get(), QUORIN_NAME("values")));
    Ref it = get_iter(values.get());
    std::vector<ParamInfo> out;
    while (Ref p = next_item(it.get())) {
        if (exact_only && !Py_IS_TYPE(p.get(), reinterpret_cast<PyTypeObject*>(parameter))) return std::nullopt;
        Ref kind = Ref::check(PyObject_GetAttr(p.get(), QUORIN_NAME("kind")));
        Ref dflt = Ref::check(PyObject_GetAttr(p.get(), QUORIN_NAME("default")));
        out.push_back({kind_of(kind.get()), dflt.get() != empty.get()});
    }
    return out;
}

}  // namespace quorin
