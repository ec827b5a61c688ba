#include "runtime/buffers/py_source.hpp"

namespace quorin {

PySource PySource::from(PyObject* obj) {
    if (PyList_CheckExact(obj)) return PySource(Ref::borrow(obj), true);
    return PySource(get_iter(obj), false);
}

Py_ssize_t PySource::length_hint() const {
    if (list_) {
        if (done_) return 0;
        const auto size = static_cast<std::size_t>(PyList_GET_SIZE(obj_.get()));
        return pos_ < size ? static_cast<Py_ssize_t>(size - pos_) : 0;
    }
    Py_ssize_t hint = PyObject_LengthHint(obj_.get(), 0);
    if (hint < 0) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) ffi_err();
        PyErr_Clear();
        return 0;
    }
    return hint;
}

}  // namespace quorin
