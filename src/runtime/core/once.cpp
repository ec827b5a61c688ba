#include "runtime/core/once.hpp"

#include <string>

namespace quorin {

namespace {

// Imports `module` and reads each dot-separated component of `path` in turn.
PyObject* cached_attr(OnceCell& cell, const char* module, const char* path) {
    return cell.get([&] {
        Ref obj = Ref::check(PyImport_ImportModule(module));
        std::string rest(path);
        size_t start = 0;
        while (true) {
            size_t dot = rest.find('.', start);
            std::string part = rest.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            obj = Ref::check(PyObject_GetAttrString(obj.get(), part.c_str()));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        return obj;
    });
}

}  // namespace

Ref module_attr(PyObject* module, PyObject* name) {
    Ref mod = Ref::check(PyImport_Import(module));
    return Ref::check(PyObject_GetAttr(mod.get(), name));
}

namespace cells {
#define QUORIN_CELL(fn, module, path)           \
    PyObject* fn() {                            \
        static OnceCell cell;                   \
        return cached_attr(cell, module, path); \
    }
QUORIN_CELL(islice, "itertools", "islice")
QUORIN_CELL(chain, "itertools", "chain")
QUORIN_CELL(chain_from_iterable, "itertools", "chain.from_iterable")
QUORIN_CELL(builtins_map, "builtins", "map")
QUORIN_CELL(sequence_abc, "collections.abc", "Sequence")
QUORIN_CELL(signature, "inspect", "signature")
QUORIN_CELL(signature_class, "inspect", "Signature")
QUORIN_CELL(parameter_class, "inspect", "Parameter")
#undef QUORIN_CELL
}  // namespace cells

}  // namespace quorin
