// Version shims: every place where the C API differs between the supported
// interpreters (3.11 to 3.15) is bridged here and nowhere else.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quorin::compat {

// Takes the pending exception as one object (null when none is pending).
inline PyObject* take_raised() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb != nullptr) PyException_SetTraceback(value, tb);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    return value;
#endif
}

// Makes `exc` (stolen) the pending exception again.
inline void restore_raised(PyObject* exc) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exc);
#else
    if (exc == nullptr) return;
    PyObject* type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exc)));
    PyObject* tb = PyException_GetTraceback(exc);
    PyErr_Restore(type, exc, tb);
#endif
}

// Strong-reference dictionary lookup: 1 found (*out set), 0 missing, -1 error.
inline int dict_get_item_ref(PyObject* d, PyObject* key, PyObject** out) noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return PyDict_GetItemRef(d, key, out);
#else
    PyObject* v = PyDict_GetItemWithError(d, key);
    if (v != nullptr) {
        *out = Py_NewRef(v);
        return 1;
    }
    *out = nullptr;
    return PyErr_Occurred() ? -1 : 0;
#endif
}

// 1 when `o` has the attribute `name`, 0 when looking it up raises
// AttributeError (cleared), -1 for any other error (left pending).
inline int has_attr(PyObject* o, PyObject* name) noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return PyObject_HasAttrWithError(o, name);
#else
    PyObject* v = nullptr;
    int r = _PyObject_LookupAttr(o, name, &v);
    Py_XDECREF(v);
    return r;
#endif
}

// The value of an exact int that fits in one digit, without a call; false
// when `o` is not such an int (the caller then takes the general route).
inline bool compact_int_value(PyObject* o, long long* out) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    if (!PyLong_CheckExact(o) || !PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(o))) return false;
    *out = static_cast<long long>(PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(o)));
    return true;
#else
    if (!PyLong_CheckExact(o)) return false;
    Py_ssize_t size = Py_SIZE(o);
    if (size < -1 || size > 1) return false;
    auto* digits = reinterpret_cast<PyLongObject*>(o)->ob_digit;
    *out = static_cast<long long>(size) * static_cast<long long>(digits[0]);
    return true;
#endif
}

// The hash an exact str has cached, or -1 when none is cached yet. The field
// is public on every supported version; free-threaded builds write it with
// relaxed atomics, so it is read the same way there.
inline Py_hash_t str_cached_hash(PyObject* o) noexcept {
    auto* ascii = reinterpret_cast<PyASCIIObject*>(o);
#ifdef Py_GIL_DISABLED
    return _Py_atomic_load_ssize_relaxed(&ascii->hash);
#else
    return ascii->hash;
#endif
}

}  // namespace quorin::compat
