// The module definition: multi-phase initialisation with an execution slot
// that registers every name.
#include "registry.hpp"

#include <cstring>

namespace quorin {

void add(PyObject* module, const char* name, Ref value) {
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) ffi_err();
        PyErr_Clear();
        all = Ref::check(PyList_New(0));
        check_int(PyObject_SetAttrString(module, "__all__", all.get()));
    }
    Ref key = Ref::check(PyUnicode_FromString(name));
    check_int(PyList_Append(all.get(), key.get()));
    check_int(PyObject_SetAttr(module, key.get(), value.get()));
}

void add_function(PyObject* module, const Function& f) {
    Ref mod_name = Ref::check(PyModule_GetNameObject(module));
    Ref fn = Ref::check(PyCFunction_NewEx(&f.def, nullptr, mod_name.get()));
    add(module, f.def.ml_name, std::move(fn));
}

void add_type(PyObject* module, PyTypeObject* type) {
    const char* dot = std::strrchr(type->tp_name, '.');
    add(module, dot ? dot + 1 : type->tp_name, Ref::borrow(reinterpret_cast<PyObject*>(type)));
}

namespace {

int exec_module(PyObject* module) noexcept {
    return boundary_int([module] {
        if (!PyModule_Check(module)) raise(PyExc_TypeError, "the object given is not an instance of the module type");
        register_all(module);
        return 0;
    });
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#if PY_VERSION_HEX >= 0x030C0000
    // Type objects and cached attributes are process-wide, so objects of one
    // interpreter would leak into another: refuse sub-interpreters.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#if PY_VERSION_HEX >= 0x030D0000 && defined(Py_GIL_DISABLED)
    // Iterator borrow flags are plain integers and exact lists are read by
    // direct indexing: without the lock two threads on one object could
    // corrupt memory, so a free-threaded interpreter keeps its lock on.
    {Py_mod_gil, Py_MOD_GIL_USED},
#elif PY_VERSION_HEX >= 0x030D0000
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef definition = {
    PyModuleDef_HEAD_INIT, "_quorin", "", 0, nullptr, slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace quorin

PyMODINIT_FUNC PyInit__quorin(void) { return PyModuleDef_Init(&quorin::definition); }
