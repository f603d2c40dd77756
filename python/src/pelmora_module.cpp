// pelmora._pelmora: the Python functions over libpelmora's C functions.
//
// A call with scalars converts each argument as Automation converts a float
// parameter (nearest float; a finite value beyond the float range, or an
// infinity, is an OverflowError; NaN passes), makes one C call and returns
// its result or raises PelmoraError. A call with sequences or arrays makes
// one C call per element into a new array. A float32 array, of any byte
// order or strides, is read bit for bit; an array of any other numbers is
// cast once by NumPy to float64, each element then rounded as a scalar is.
// Neither creates an object per element, nor do number results.
//
// The module is initialised in phases (PEP 489) and keeps what it imports
// (PelmoraError, NumPy's functions) in its own state: each interpreter that
// imports it gets its own, and raises its own PelmoraError.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <bit>
#include <cfloat>
#include <cstring>
#include <vector>

#include "pelmora.h"

namespace {

// The module's state, made by Exec: the exception class, and NumPy's
// functions and types (null without NumPy, array.array then).
struct State {
  PyObject* error_class;
  PyObject* numpy_empty;
  PyObject* numpy_asarray;
  PyObject* numpy_contiguous;  // numpy.ascontiguousarray
  PyObject* numpy_ndarray;
  PyObject* numpy_float32;
  PyObject* numpy_float64;
  PyObject* numpy_int32;
  PyObject* array_type;
  PyObject* cell_type;  // pelmora.Cell
  PyObject* path_type;  // pelmora.Path
};

State& StateOf(PyObject* module) { return *static_cast<State*>(PyModule_GetState(module)); }

bool Overflow(double d) {
  return d > static_cast<double>(FLT_MAX) || d < -static_cast<double>(FLT_MAX);
}

// A scalar argument as a float; false with an exception set.
bool ToFloat(PyObject* o, float* out) {
  double d;
  if (PyFloat_CheckExact(o)) {
    d = PyFloat_AS_DOUBLE(o);
  } else {
    d = PyFloat_AsDouble(o);
    if (d == -1.0 && PyErr_Occurred()) return false;
  }
  if (Overflow(d)) {
    PyErr_Format(PyExc_OverflowError, "%R is beyond single precision", o);
    return false;
  }
  *out = static_cast<float>(d);
  return true;
}

// Raises PelmoraError for a failed call (index < 0: not a batch).
void RaiseStatus(const State& state, int status, PyObject* value, Py_ssize_t index) {
  if (status < 0) {  // a misuse of the library: never made here
    PyErr_Format(PyExc_SystemError, "libpelmora: %s", pelmora_strerror(status));
    return;
  }
  PyObject* where = index < 0 ? Py_NewRef(Py_None) : PyLong_FromSsize_t(index);
  PyObject* error = where == nullptr
                        ? nullptr
                        : PyObject_CallFunction(state.error_class, "isOO", status,
                                                pelmora_strerror(status), value, where);
  Py_XDECREF(where);
  if (error != nullptr) {
    PyErr_SetObject(state.error_class, error);
    Py_DECREF(error);
  }
}

// Names element e of a batch in the exception set while reading it. The
// errors of a conversion (TypeError, ValueError, OverflowError) are raised
// again with a message that starts with the element, caused by the first
// when that came through Python code (an element's own __float__); any
// other exception gets a note.
void AtElement(Py_ssize_t e) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value == nullptr) {
    PyErr_Restore(type, value, traceback);
    return;
  }
  if (traceback != nullptr) PyException_SetTraceback(value, traceback);
  if (type == PyExc_TypeError || type == PyExc_ValueError || type == PyExc_OverflowError) {
    PyObject* again =
        PyObject_CallFunction(type, "N", PyUnicode_FromFormat("element %zd: %S", e, value));
    if (again != nullptr) {
      if (traceback != nullptr) PyException_SetCause(again, Py_NewRef(value));
      PyErr_SetObject(type, again);
      Py_DECREF(again);
    }
    Py_DECREF(type);
    Py_DECREF(value);
    Py_XDECREF(traceback);
    return;
  }
  PyObject* noted = PyObject_CallMethod(value, "add_note", "N",
                                        PyUnicode_FromFormat("element %zd of the batch", e));
  if (noted == nullptr) {  // the note's own failure replaces the error
    Py_DECREF(type);
    Py_DECREF(value);
    Py_XDECREF(traceback);
    return;
  }
  Py_DECREF(noted);
  PyErr_Restore(type, value, traceback);
}

// ---- Arguments of a batch ----

// bytes, bytearray and memoryviews of bytes: their items are byte values,
// neither numbers nor texts to these functions.
bool BytesLike(PyObject* o) {
  if (PyBytes_Check(o) || PyByteArray_Check(o)) return true;
  if (!PyMemoryView_Check(o)) return false;
  const Py_buffer* view = PyMemoryView_GET_BUFFER(o);
  const char* format = view->format == nullptr ? "B" : view->format;
  if (*format == '@' || *format == '=' || *format == '<' || *format == '>' || *format == '!')
    ++format;
  return view->itemsize == 1 && std::strchr("bBc", *format) != nullptr && format[1] == '\0';
}

// Whether a buffer's format is a float or a double in this machine's byte
// order (the only formats read in place).
bool NativeFormat(const char* format, char want) {
  constexpr bool kLittle = std::endian::native == std::endian::little;
  if (*format == '@' || *format == '=' || *format == (kLittle ? '<' : '>') ||
      (!kLittle && *format == '!'))
    ++format;
  return format[0] == want && format[1] == '\0';
}

// An integer attribute of `o` (ndim, itemsize); -1 with an exception set.
Py_ssize_t SizeAttribute(PyObject* o, const char* name) {
  PyObject* value = PyObject_GetAttrString(o, name);
  if (value == nullptr) return -1;
  const Py_ssize_t size = PyLong_AsSsize_t(value);
  Py_DECREF(value);
  return size;
}

bool OneDimensional(Py_ssize_t ndim) {
  if (ndim == 1) return true;
  if (ndim >= 0) {
    PyErr_Format(PyExc_ValueError, "a batch argument must be one-dimensional, not %zd-dimensional",
                 ndim);
  }
  return false;
}

// One argument of a batch: a scalar for every element, a float32 or
// float64 buffer, or a tuple of objects.
class Column {
 public:
  Column() = default;
  Column(const Column&) = delete;
  Column& operator=(const Column&) = delete;
  ~Column() {
    if (has_view_) PyBuffer_Release(&view_);
    Py_XDECREF(items_);
  }

  // Whether `o` is a batch argument rather than a scalar: a sequence, or an
  // object with a buffer of one or more dimensions.
  static bool IsBatch(PyObject* o) {
    if (PyFloat_Check(o) || PyLong_Check(o) || PyUnicode_Check(o)) return false;
    if (PyObject_CheckBuffer(o)) {
      Py_buffer view;
      if (PyObject_GetBuffer(o, &view, PyBUF_FULL_RO) != 0) {
        PyErr_Clear();
        return PySequence_Check(o);
      }
      const bool batch = view.ndim > 0;
      PyBuffer_Release(&view);
      return batch;
    }
    return PySequence_Check(o);
  }

  // Takes argument `position` (from 1) of function `name`: numbers, a
  // scalar when it is not a batch; else texts, a batch. False with an
  // exception set. length() is -1 for a scalar.
  bool Take(const State& state, PyObject* o, bool numbers, const char* name, int position) {
    if (numbers && !IsBatch(o)) return ToFloat(o, &scalar_);
    if (BytesLike(o)) {
      PyErr_Format(PyExc_TypeError, "%s() argument %d must be %s, not %.80s", name, position,
                   numbers ? "a number or a sequence or one-dimensional array of numbers"
                           : "a str or a sequence or one-dimensional array of str",
                   Py_TYPE(o)->tp_name);
      return false;
    }
    const bool ndarray =
        state.numpy_ndarray != nullptr &&
        PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject*>(state.numpy_ndarray));
    if (ndarray || PyObject_CheckBuffer(o)) {
      if (numbers) {
        if (ReadInPlace(o)) return true;
        if (PyErr_Occurred() != nullptr) return false;
        if (state.numpy_asarray != nullptr) return Cast(state, o, name, position);
      } else if (!OneDimensional(ndarray ? SizeAttribute(o, "ndim") : BufferDimensions(o))) {
        return false;
      }
    }
    // A tuple of its own: an element's __float__ may change a list under the
    // loop, but not this copy, which also holds each element.
    items_ = PySequence_Check(o) ? PySequence_Tuple(o) : nullptr;
    if (items_ == nullptr) {
      if (PyErr_Occurred() == nullptr || PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s() argument %d must be a sequence or an array, not %.80s",
                     name, position, Py_TYPE(o)->tp_name);
      }
      return false;
    }
    length_ = PyTuple_GET_SIZE(items_);
    return true;
  }

  Py_ssize_t length() const { return length_; }

  // Element i as a float; false with an exception set (the element not yet
  // named in it).
  bool At(Py_ssize_t i, float* out) const {
    if (floats_ != nullptr) {
      *out = floats_[i];
    } else if (doubles_ != nullptr) {
      if (Overflow(doubles_[i])) {
        PyObject* value = PyFloat_FromDouble(doubles_[i]);
        if (value != nullptr) {
          PyErr_Format(PyExc_OverflowError, "%R is beyond single precision", value);
          Py_DECREF(value);
        }
        return false;
      }
      *out = static_cast<float>(doubles_[i]);
    } else if (items_ != nullptr) {
      return ToFloat(PyTuple_GET_ITEM(items_, i), out);
    } else {
      *out = scalar_;
    }
    return true;
  }

  // Element i as an object (texts).
  PyObject* Item(Py_ssize_t i) const { return PyTuple_GET_ITEM(items_, i); }

 private:
  // The dimensions of a buffer of any layout; -1 with an exception set.
  static Py_ssize_t BufferDimensions(PyObject* o) {
    Py_buffer view;
    if (PyObject_GetBuffer(o, &view, PyBUF_FULL_RO) != 0) return -1;
    const Py_ssize_t ndim = view.ndim;
    PyBuffer_Release(&view);
    return ndim;
  }

  // Keeps a one-dimensional contiguous buffer of native floats or doubles.
  // False without an exception when `o` has another buffer (or none); false
  // with one when its buffer has other than one dimension.
  bool ReadInPlace(PyObject* o) {
    if (PyObject_GetBuffer(o, &view_, PyBUF_FULL_RO) != 0) {
      PyErr_Clear();
      return false;
    }
    has_view_ = true;
    if (!OneDimensional(view_.ndim)) return false;
    if (PyBuffer_IsContiguous(&view_, 'C') && view_.format != nullptr) {
      if (view_.itemsize == 4 && NativeFormat(view_.format, 'f')) {
        floats_ = static_cast<const float*>(view_.buf);
        length_ = view_.shape[0];
        return true;
      }
      if (view_.itemsize == 8 && NativeFormat(view_.format, 'd')) {
        doubles_ = static_cast<const double*>(view_.buf);
        length_ = view_.shape[0];
        return true;
      }
    }
    PyBuffer_Release(&view_);
    has_view_ = false;
    return false;
  }

  // An array of any other layout, byte order or dtype, through NumPy's own
  // casting in one call: float32 stays float32 (bit for bit), other real
  // numbers become float64; an array of objects is read as a sequence.
  bool Cast(const State& state, PyObject* o, const char* name, int position) {
    PyObject* array = PyObject_CallOneArg(state.numpy_asarray, o);
    if (array == nullptr) return false;
    PyObject* dtype = nullptr;
    PyObject* kind = nullptr;
    PyObject* target = nullptr;
    bool ok = false;
    if (OneDimensional(SizeAttribute(array, "ndim")) &&
        (dtype = PyObject_GetAttrString(array, "dtype")) != nullptr &&
        (kind = PyObject_GetAttrString(dtype, "kind")) != nullptr) {
      const Py_ssize_t itemsize = SizeAttribute(dtype, "itemsize");
      const char* k = PyUnicode_Check(kind) ? PyUnicode_AsUTF8(kind) : "";
      if (itemsize < 0 || k == nullptr) {
        // the exception is set
      } else if (std::strcmp(k, "O") == 0) {
        items_ = PySequence_Tuple(array);
        ok = items_ != nullptr;
        if (ok) length_ = PyTuple_GET_SIZE(items_);
      } else if (k[0] != '\0' && k[1] == '\0' && std::strchr("biuf", k[0]) != nullptr) {
        const bool floats = k[0] == 'f' && itemsize == 4;
        target = PyObject_CallFunctionObjArgs(state.numpy_contiguous, array,
                                              floats ? state.numpy_float32 : state.numpy_float64,
                                              nullptr);
        if (target != nullptr &&
            PyObject_GetBuffer(target, &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) == 0) {
          has_view_ = true;
          length_ = view_.shape[0];
          if (floats) {
            floats_ = static_cast<const float*>(view_.buf);
          } else {
            doubles_ = static_cast<const double*>(view_.buf);
          }
          ok = true;
        }
      } else {
        PyErr_Format(PyExc_TypeError,
                     "%s() argument %d must be a number or an array of numbers, not an array of "
                     "%S",
                     name, position, dtype);
      }
    }
    Py_XDECREF(target);  // the view holds the array it reads
    Py_XDECREF(kind);
    Py_XDECREF(dtype);
    Py_DECREF(array);
    return ok;
  }

  float scalar_ = 0.0f;
  const float* floats_ = nullptr;
  const double* doubles_ = nullptr;
  PyObject* items_ = nullptr;
  Py_buffer view_{};
  bool has_view_ = false;
  Py_ssize_t length_ = -1;
};

// A new one-dimensional array of n elements (float32 or int32) and a
// pointer to its memory.
PyObject* NewArray(const State& state, Py_ssize_t n, bool floats, void** data) {
  PyObject* array;
  if (state.numpy_empty != nullptr) {
    array = PyObject_CallFunction(state.numpy_empty, "nO", n,
                                  floats ? state.numpy_float32 : state.numpy_int32);
  } else {
    PyObject* one = PyObject_CallFunction(state.array_type, "s(i)", floats ? "f" : "i", 0);
    if (one == nullptr) return nullptr;
    array = PySequence_Repeat(one, n);
    Py_DECREF(one);
  }
  if (array == nullptr) return nullptr;
  Py_buffer view;
  if (PyObject_GetBuffer(array, &view, PyBUF_C_CONTIGUOUS | PyBUF_WRITABLE) != 0) {
    Py_DECREF(array);
    return nullptr;
  }
  *data = view.buf;
  PyBuffer_Release(&view);  // the array keeps its memory
  return array;
}

// ---- Calls ----

// The keyword arguments: only statuses=..., whose value is -1 when it is
// not given.
bool Keywords(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, int* statuses) {
  *statuses = -1;
  if (kwnames == nullptr) return true;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, i);
    if (PyUnicode_CompareWithASCIIString(name, "statuses") != 0) {
      PyErr_Format(PyExc_TypeError, "unexpected keyword argument %R", name);
      return false;
    }
    *statuses = PyObject_IsTrue(args[nargs + i]);
    if (*statuses < 0) return false;
  }
  return true;
}

bool Arity(const char* name, Py_ssize_t nargs, Py_ssize_t want) {
  if (nargs == want) return true;
  PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments (%zd given)", name, want, nargs);
  return false;
}

// statuses=True asks for the statuses of a batch; a call with scalars has
// none.
bool ScalarStatuses(int statuses) {
  if (statuses <= 0) return true;
  PyErr_SetString(PyExc_TypeError, "statuses=True is for batches");
  return false;
}

// The common length of the batch columns; -1 with an exception set.
Py_ssize_t BatchLength(const Column* columns, std::size_t count) {
  Py_ssize_t n = -1;
  for (std::size_t i = 0; i < count; ++i) {
    const Py_ssize_t m = columns[i].length();
    if (m < 0) continue;
    if (n >= 0 && m != n) {
      PyErr_SetString(PyExc_ValueError, "batch arguments of different lengths");
      return -1;
    }
    n = m;
  }
  return n;
}

// The statuses of a batch: each element's in an int32 array when the caller
// asked for them (statuses=True), and the first failure in any case.
struct BatchStatuses {
  PyObject* array = nullptr;
  int* out = nullptr;
  Py_ssize_t first = -1;
  int first_status = PELMORA_OK;

  // False, with the exception set and `results` released, when the array
  // cannot be made.
  bool Make(const State& state, Py_ssize_t n, bool wanted, PyObject* results) {
    if (!wanted) return true;
    void* data = nullptr;
    array = NewArray(state, n, false, &data);
    if (array == nullptr) {
      Py_DECREF(results);
      return false;
    }
    out = static_cast<int*>(data);
    return true;
  }
  // Records element e's status; true when it is the batch's first failure.
  bool Record(Py_ssize_t e, int status) {
    if (out != nullptr) out[e] = status;
    if (status == PELMORA_OK || first >= 0) return false;
    first = e;
    first_status = status;
    return true;
  }
  // Names element e in the exception set and releases the results and the
  // array, when the element cannot be read.
  PyObject* Abandon(Py_ssize_t e, PyObject* results) {
    AtElement(e);
    Py_DECREF(results);
    Py_XDECREF(array);
    return nullptr;
  }
};

// The result of a batch: the results alone, raising at the first failure,
// or (results, statuses).
PyObject* BatchResult(const State& state, PyObject* results, PyObject* statuses, int first_status,
                      Py_ssize_t first, bool with_statuses, PyObject* failed_value) {
  if (with_statuses) return Py_BuildValue("(NN)", results, statuses);
  Py_XDECREF(statuses);
  if (first >= 0) {
    Py_DECREF(results);
    RaiseStatus(state, first_status, failed_value, first);
    return nullptr;
  }
  return results;
}

// The result of a batch of numbers; a failure carries the value its element
// was left with.
PyObject* FloatBatchResult(const State& state, PyObject* results, const float* out,
                           const BatchStatuses& status, bool with_statuses) {
  PyObject* failed =
      status.first >= 0 ? PyFloat_FromDouble(static_cast<double>(out[status.first])) : nullptr;
  PyObject* answer = BatchResult(state, results, status.array, status.first_status, status.first,
                                 with_statuses, failed);
  Py_XDECREF(failed);
  return answer;
}

// A Python function over a number function of N float arguments.
template <std::size_t N, class Call>
PyObject* PythonNumberFunction(PyObject* module, const char* name, PyObject* const* args,
                               Py_ssize_t nargs, PyObject* kwnames, Call&& call) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, N)) return nullptr;
  bool batch = false;
  for (std::size_t i = 0; i < N; ++i) batch = batch || Column::IsBatch(args[i]);
  if (!batch) {
    if (!ScalarStatuses(statuses)) return nullptr;
    float x[N];
    for (std::size_t i = 0; i < N; ++i) {
      if (!ToFloat(args[i], &x[i])) return nullptr;
    }
    float result = 0.0f;
    const int status = call(x, &result);
    if (status == PELMORA_OK) return PyFloat_FromDouble(static_cast<double>(result));
    PyObject* value = PyFloat_FromDouble(static_cast<double>(result));
    RaiseStatus(StateOf(module), status, value, -1);
    Py_XDECREF(value);
    return nullptr;
  }
  const State& state = StateOf(module);
  Column columns[N];
  for (std::size_t i = 0; i < N; ++i) {
    if (!columns[i].Take(state, args[i], true, name, static_cast<int>(i) + 1)) return nullptr;
  }
  const Py_ssize_t n = BatchLength(columns, N);
  if (n < 0) return nullptr;
  void* data = nullptr;
  PyObject* results = NewArray(state, n, true, &data);
  if (results == nullptr) return nullptr;
  float* out = static_cast<float*>(data);
  BatchStatuses status;
  if (!status.Make(state, n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    float x[N];
    for (std::size_t i = 0; i < N; ++i) {
      if (!columns[i].At(e, &x[i])) return status.Abandon(e, results);
    }
    // Without statuses the batch raises at its first failure.
    if (status.Record(e, call(x, &out[e])) && status.array == nullptr) break;
  }
  return FloatBatchResult(state, results, out, status, statuses > 0);
}

// A Python function over a locator function of two float arguments.
template <class Call>
PyObject* PythonTextFunction(PyObject* module, const char* name, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames, Call&& call) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, 2)) return nullptr;
  const auto text = [&](float lat, float lon, int* status) -> PyObject* {
    pelmora_char16 units[PELMORA_LOCATOR_SIZE16];
    *status = call(lat, lon, units, PELMORA_LOCATOR_SIZE16);
    if (*status != PELMORA_OK) return Py_NewRef(Py_None);
    // Six units, U+0000 among them perhaps, as UCS-2 (a result holds
    // Windows-1252 characters only); Python stores them in one byte per
    // character when it can.
    return PyUnicode_FromKindAndData(PyUnicode_2BYTE_KIND, units, 6);
  };
  if (!Column::IsBatch(args[0]) && !Column::IsBatch(args[1])) {
    if (!ScalarStatuses(statuses)) return nullptr;
    float lat, lon;
    if (!ToFloat(args[0], &lat) || !ToFloat(args[1], &lon)) return nullptr;
    int status;
    PyObject* result = text(lat, lon, &status);
    if (status == PELMORA_OK) return result;
    RaiseStatus(StateOf(module), status, result, -1);
    Py_XDECREF(result);
    return nullptr;
  }
  const State& state = StateOf(module);
  Column columns[2];
  if (!columns[0].Take(state, args[0], true, name, 1) ||
      !columns[1].Take(state, args[1], true, name, 2))
    return nullptr;
  const Py_ssize_t n = BatchLength(columns, 2);
  if (n < 0) return nullptr;
  PyObject* results = PyList_New(n);
  if (results == nullptr) return nullptr;
  // Filled with None first, so that the list can be released at any point.
  for (Py_ssize_t e = 0; e < n; ++e) PyList_SET_ITEM(results, e, Py_NewRef(Py_None));
  BatchStatuses status;
  if (!status.Make(state, n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    float lat, lon;
    if (!columns[0].At(e, &lat) || !columns[1].At(e, &lon)) return status.Abandon(e, results);
    int code = PELMORA_OK;
    PyObject* item = text(lat, lon, &code);
    if (item == nullptr) return status.Abandon(e, results);
    Py_DECREF(PyList_GET_ITEM(results, e));
    PyList_SET_ITEM(results, e, item);
    // Without statuses the batch raises at its first failure.
    if (status.Record(e, code) && status.array == nullptr) break;
  }
  return BatchResult(state, results, status.array, status.first_status, status.first, statuses > 0,
                     Py_None);
}

// Calls utf8(text, bytes) or utf16(units, count) with the text of a str as
// the DLL reads its UTF-16 units: ASCII and other one-byte strings through
// UTF-8, two-byte ones as they are, four-byte ones as UTF-16 with surrogate
// pairs. The call's status, or false with an exception set.
template <class Utf8, class Utf16>
bool WithUnits(PyObject* s, Utf8&& utf8, Utf16&& utf16, int* status) {
  if (!PyUnicode_Check(s)) {
    PyErr_Format(PyExc_TypeError, "a locator must be a str, not %.80s", Py_TYPE(s)->tp_name);
    return false;
  }
  const Py_ssize_t length = PyUnicode_GET_LENGTH(s);
  const int kind = PyUnicode_KIND(s);
  if (kind == PyUnicode_1BYTE_KIND) {
    Py_ssize_t bytes = length;
    const char* text = PyUnicode_IS_ASCII(s) ? static_cast<const char*>(PyUnicode_DATA(s))
                                             : PyUnicode_AsUTF8AndSize(s, &bytes);
    if (text == nullptr) return false;
    *status = utf8(text, static_cast<std::size_t>(bytes));
  } else if (kind == PyUnicode_2BYTE_KIND) {
    *status = utf16(static_cast<const pelmora_char16*>(PyUnicode_DATA(s)),
                    static_cast<std::size_t>(length));
  } else {
    const Py_UCS4* points = static_cast<const Py_UCS4*>(PyUnicode_DATA(s));
    std::vector<pelmora_char16> units;
    units.reserve(static_cast<std::size_t>(length) * 2);
    for (Py_ssize_t i = 0; i < length; ++i) {
      const Py_UCS4 c = points[i];
      if (c < 0x10000) {
        units.push_back(static_cast<pelmora_char16>(c));
      } else {
        units.push_back(static_cast<pelmora_char16>(0xD800 + ((c - 0x10000) >> 10)));
        units.push_back(static_cast<pelmora_char16>(0xDC00 + (c & 0x3FF)));
      }
    }
    *status = utf16(units.data(), units.size());
  }
  return true;
}

// A locator decoded by a DLL method into `out`; *ok false with an exception
// set when it cannot be read.
template <class Utf8, class Utf16>
int Decode(PyObject* s, Utf8&& utf8, Utf16&& utf16, float* out, bool* ok) {
  int status = PELMORA_OK;
  *ok = WithUnits(
      s, [&](const char* text, std::size_t n) { return utf8(text, n, out); },
      [&](const pelmora_char16* units, std::size_t n) { return utf16(units, n, out); }, &status);
  return status;
}

// A Python function over a decoding function of one locator.
template <class Utf8, class Utf16>
PyObject* PythonDecodeFunction(PyObject* module, const char* name, PyObject* const* args,
                               Py_ssize_t nargs, PyObject* kwnames, Utf8&& utf8, Utf16&& utf16) {
  int statuses = -1;
  if (!Keywords(args, nargs, kwnames, &statuses) || !Arity(name, nargs, 1)) return nullptr;
  float result = 0.0f;
  bool ok = false;
  if (PyUnicode_Check(args[0]) || !Column::IsBatch(args[0])) {
    if (!ScalarStatuses(statuses)) return nullptr;
    const int status = Decode(args[0], utf8, utf16, &result, &ok);
    if (!ok) return nullptr;
    if (status == PELMORA_OK) return PyFloat_FromDouble(static_cast<double>(result));
    PyObject* value = PyFloat_FromDouble(static_cast<double>(result));
    RaiseStatus(StateOf(module), status, value, -1);
    Py_XDECREF(value);
    return nullptr;
  }
  const State& state = StateOf(module);
  Column column;
  if (!column.Take(state, args[0], false, name, 1)) return nullptr;
  const Py_ssize_t n = column.length();
  void* data = nullptr;
  PyObject* results = NewArray(state, n, true, &data);
  if (results == nullptr) return nullptr;
  float* out = static_cast<float*>(data);
  BatchStatuses status;
  if (!status.Make(state, n, statuses > 0, results)) return nullptr;
  for (Py_ssize_t e = 0; e < n; ++e) {
    const int code = Decode(column.Item(e), utf8, utf16, &out[e], &ok);
    if (!ok) return status.Abandon(e, results);
    status.Record(e, code);
  }
  return FloatBatchResult(state, results, out, status, statuses > 0);
}

// ---- The functions ----

PyObject* GridFromLatLong(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonTextFunction(m, "grid_from_lat_long", args, nargs, kw, pelmora_grid_from_lat_long16);
}

PyObject* SLocator(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonTextFunction(m, "s_locator", args, nargs, kw, pelmora_s_locator16);
}

PyObject* LatFromGrid(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonDecodeFunction(m, "lat_from_grid", args, nargs, kw, pelmora_lat_from_grid,
                              pelmora_lat_from_grid16);
}

PyObject* LongFromGrid(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonDecodeFunction(m, "long_from_grid", args, nargs, kw, pelmora_long_from_grid,
                              pelmora_long_from_grid16);
}

PyObject* Azimut(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonNumberFunction<4>(m, "azimut", args, nargs, kw, [](const float* x, float* r) {
    return pelmora_azimut(x[0], x[1], x[2], x[3], r);
  });
}

PyObject* DistanceFrom(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonNumberFunction<4>(m, "distance_from", args, nargs, kw, [](const float* x, float* r) {
    return pelmora_distance_from(x[0], x[1], x[2], x[3], r);
  });
}

PyObject* ArcCos(PyObject* m, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  return PythonNumberFunction<1>(m, "arc_cos", args, nargs, kw,
                                 [](const float* x, float* r) { return pelmora_arc_cos(x[0], r); });
}

// ---- Locators of every precision, paths ----

// A refused argument of these functions as a ValueError; other negative
// statuses are misuses, which these calls never make.
PyObject* Refused(int status, PyObject* what, const char* range = "its range") {
  if (status == PELMORA_NOT_A_LOCATOR) {
    PyErr_Format(PyExc_ValueError, "%R is not a locator of 2 to 12 characters", what);
  } else if (status == PELMORA_OUT_OF_RANGE) {
    PyErr_Format(PyExc_ValueError, "%R is outside %s", what, range);
  } else {
    PyErr_Format(PyExc_SystemError, "libpelmora: %s", pelmora_strerror(status));
  }
  return nullptr;
}

// Calls a function of a locator's text (UTF-8 or UTF-16 units).
template <class Call>
bool WithLocator(PyObject* text, Call&& call, int* status) {
  return WithUnits(
      text, [&](const char* bytes, std::size_t n) { return call(bytes, n); },
      [&](const pelmora_char16* units, std::size_t n) { return call(units, n); }, status);
}

PyObject* NewPath(const State& state, const pelmora_path& path) {
  PyObject* result = PyStructSequence_New(reinterpret_cast<PyTypeObject*>(state.path_type));
  if (result == nullptr) return nullptr;
  const float values[] = {path.distance, path.bearing, path.long_distance, path.long_bearing};
  for (Py_ssize_t i = 0; i < 4; ++i) {
    PyObject* value = PyFloat_FromDouble(static_cast<double>(values[i]));
    if (value == nullptr) {
      Py_DECREF(result);
      return nullptr;
    }
    PyStructSequence_SetItem(result, i, value);
  }
  return result;
}

// A path, or PelmoraError carrying it (the parts that stand) for a failed
// calculation.
PyObject* PathResult(PyObject* module, int status, const pelmora_path& path, PyObject* what) {
  if (status < 0) return Refused(status, what);
  PyObject* result = NewPath(StateOf(module), path);
  if (result == nullptr || status == PELMORA_OK) return result;
  RaiseStatus(StateOf(module), status, result, -1);
  Py_DECREF(result);
  return nullptr;
}

PyObject* Locator(PyObject*, PyObject* args, PyObject* kw) {
  static const char* names[] = {"", "", "characters", nullptr};
  double lat, lon;
  int characters = 6;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "dd|i:locator", const_cast<char**>(names), &lat, &lon,
                                   &characters))
    return nullptr;
  if (characters < 2 || characters > 12 || characters % 2 != 0) {
    PyErr_Format(PyExc_ValueError, "characters must be 2, 4, 6, 8, 10 or 12, not %d", characters);
    return nullptr;
  }
  char text[PELMORA_GRID_SIZE];
  const int status = pelmora_locator(lat, lon, characters, text, sizeof text);
  if (status != PELMORA_OK) {
    PyObject* where = Py_BuildValue("(dd)", lat, lon);
    if (where != nullptr)
      Refused(status, where, "the grid (latitude -90..90, longitude -180..180)");
    Py_XDECREF(where);
    return nullptr;
  }
  return PyUnicode_FromString(text);
}

PyObject* LocatorCell(PyObject* module, PyObject* text) {
  pelmora_cell cell{};
  int status = PELMORA_OK;
  if (!WithLocator(
          text,
          [&](const auto* units, std::size_t n) {
            if constexpr (sizeof(*units) == 1) {
              return pelmora_locator_cell(units, n, &cell);
            } else {
              return pelmora_locator_cell16(units, n, &cell);
            }
          },
          &status))
    return nullptr;
  if (status != PELMORA_OK) return Refused(status, text);
  PyObject* result =
      PyStructSequence_New(reinterpret_cast<PyTypeObject*>(StateOf(module).cell_type));
  if (result == nullptr) return nullptr;
  const double values[] = {cell.lat, cell.lon, cell.south, cell.west, cell.height, cell.width};
  for (Py_ssize_t i = 0; i < 6; ++i)
    PyStructSequence_SetItem(result, i, PyFloat_FromDouble(values[i]));
  PyStructSequence_SetItem(result, 6, PyLong_FromLong(cell.characters));
  for (Py_ssize_t i = 0; i < 7; ++i) {
    if (PyStructSequence_GetItem(result, i) == nullptr) {
      Py_DECREF(result);
      return nullptr;
    }
  }
  return result;
}

PyObject* LocatorCentre(PyObject*, PyObject* text) {
  double lat = 0.0, lon = 0.0;
  int status = PELMORA_OK;
  if (!WithLocator(
          text,
          [&](const auto* units, std::size_t n) {
            if constexpr (sizeof(*units) == 1) {
              return pelmora_locator_centre(units, n, &lat, &lon);
            } else {
              return pelmora_locator_centre16(units, n, &lat, &lon);
            }
          },
          &status))
    return nullptr;
  if (status != PELMORA_OK) return Refused(status, text);
  return Py_BuildValue("(dd)", lat, lon);
}

PyObject* IsLocator(PyObject*, PyObject* text) {
  int characters = 0;
  int status = PELMORA_OK;
  if (!WithLocator(
          text,
          [&](const auto* units, std::size_t n) {
            if constexpr (sizeof(*units) == 1) {
              return pelmora_is_locator(units, n, &characters);
            } else {
              return pelmora_is_locator16(units, n, &characters);
            }
          },
          &status))
    return nullptr;
  if (status != PELMORA_OK && status != PELMORA_NOT_A_LOCATOR) return Refused(status, text);
  return PyLong_FromLong(status == PELMORA_OK ? characters : 0);
}

PyObject* GridPath(PyObject* module, PyObject* const* args, Py_ssize_t nargs) {
  if (!Arity("grid_path", nargs, 2)) return nullptr;
  // Each text as UTF-16 units, so that one C call takes both.
  std::vector<pelmora_char16> units[2];
  for (int i = 0; i < 2; ++i) {
    int ignored = PELMORA_OK;
    const auto keep = [&](const auto* text, std::size_t n) {
      if constexpr (sizeof(*text) == 1) {
        // ASCII, or the UTF-8 of a Latin-1 text: each byte outside ASCII
        // becomes U+FFFD, and such a text is no locator either way.
        for (std::size_t k = 0; k < n; ++k)
          units[i].push_back(static_cast<unsigned char>(text[k]) < 0x80
                                 ? static_cast<pelmora_char16>(text[k])
                                 : pelmora_char16{0xFFFD});
      } else {
        units[i].assign(text, text + n);
      }
      return PELMORA_OK;
    };
    if (!WithLocator(args[i], keep, &ignored)) return nullptr;
  }
  pelmora_path path{};
  const int status = pelmora_grid_path16(units[0].data(), units[0].size(), units[1].data(),
                                         units[1].size(), &path);
  if (status == PELMORA_NOT_A_LOCATOR) {
    int characters;
    const bool first =
        pelmora_is_locator16(units[0].data(), units[0].size(), &characters) != PELMORA_OK;
    return Refused(status, args[first ? 0 : 1]);
  }
  return PathResult(module, status, path, nullptr);
}

PyObject* PositionPath(PyObject* module, PyObject* const* args, Py_ssize_t nargs) {
  if (!Arity("position_path", nargs, 4)) return nullptr;
  float x[4];
  for (int i = 0; i < 4; ++i) {
    if (!ToFloat(args[i], &x[i])) return nullptr;
  }
  pelmora_path path{};
  const int status = pelmora_position_path(x[0], x[1], x[2], x[3], &path);
  return PathResult(module, status, path, nullptr);
}

template <class Call>
PyObject* LongPathPart(PyObject* value, const char* range, Call&& call) {
  float x, result = 0.0f;
  if (!ToFloat(value, &x)) return nullptr;
  const int status = call(x, &result);
  if (status != PELMORA_OK) return Refused(status, value, range);
  return PyFloat_FromDouble(static_cast<double>(result));
}

PyObject* LongPathDistance(PyObject*, PyObject* value) {
  return LongPathPart(value, "0..20002.0996", pelmora_long_path_distance);
}

PyObject* LongPathBearing(PyObject*, PyObject* value) {
  return LongPathPart(value, "0..360", pelmora_long_path_bearing);
}

#define PELMORA_METHOD(name, function, doc)                                      \
  {                                                                              \
    name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), \
        METH_FASTCALL | METH_KEYWORDS, PyDoc_STR(doc)                            \
  }

// Each docstring starts with the function's signature (read by
// inspect.signature), then "--".
PyMethodDef kMethods[] = {
    PELMORA_METHOD("grid_from_lat_long", GridFromLatLong,
                   "grid_from_lat_long($module, lat, lon, /, *, statuses=False)\n--\n\n"
                   "The six-character locator of a position in degrees (the DLL's\n"
                   "GridFromLatLong: quotients kept in double). Raises PelmoraError 6\n"
                   "(Overflow) for a quotient beyond 16 bits (a NaN or a huge coordinate),\n"
                   "5 for a field character beyond code 255. With batches, a list of str\n"
                   "(None where an element failed, with statuses=True)."),
    PELMORA_METHOD("s_locator", SLocator,
                   "s_locator($module, lat, lon, /, *, statuses=False)\n--\n\n"
                   "The six-character locator of a position (the DLL's sLocator: running\n"
                   "quotients rounded to float; can differ from grid_from_lat_long on and\n"
                   "next to cell edges). Fails as grid_from_lat_long."),
    PELMORA_METHOD("lat_from_grid", LatFromGrid,
                   "lat_from_grid($module, grid, /, *, statuses=False)\n--\n\n"
                   "The latitude of the centre of a locator's subsquare (six characters)\n"
                   "or square (four); 0.0 for fewer than four. Spaces at the ends are\n"
                   "skipped; nothing is validated (the DLL's LatFromGrid). grid is a str,\n"
                   "or a sequence or one-dimensional array of str (not bytes)."),
    PELMORA_METHOD("long_from_grid", LongFromGrid,
                   "long_from_grid($module, grid, /, *, statuses=False)\n--\n\n"
                   "The longitude of the centre, as lat_from_grid (the DLL's LongFromGrid)."),
    PELMORA_METHOD("azimut", Azimut,
                   "azimut($module, my_lat, my_lon, lat, lon, /, *, statuses=False)\n--\n\n"
                   "The bearing in whole degrees, 0 to 360 clockwise from north, in which\n"
                   "the great circle from my position to the other leaves mine (the DLL's\n"
                   "Azimut). A zero or NaN other coordinate gives 0. Raises PelmoraError\n"
                   "513 (Floating-point error) for infinities, NaN in my position, and\n"
                   "latitudes or longitude differences too close to zero."),
    PELMORA_METHOD("distance_from", DistanceFrom,
                   "distance_from($module, a_lat, a_lon, b_lat, b_lon, /, *, statuses=False)\n"
                   "--\n\n"
                   "The great-circle distance in kilometres plus 0.5 (the DLL's\n"
                   "DistanceFrom; its integer part is the whole kilometres). Identical\n"
                   "positions give 0.0. Raises PelmoraError 513 (Floating-point error) for\n"
                   "a NaN or an infinite coordinate."),
    PELMORA_METHOD("arc_cos", ArcCos,
                   "arc_cos($module, x, /, *, statuses=False)\n--\n\n"
                   "The arc cosine in radians as the distance computes it (the DLL's\n"
                   "ArcCos); never fails: 1 gives 1e-08, values above 1 tiny values."),
    {"locator", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Locator)),
     METH_VARARGS | METH_KEYWORDS,
     PyDoc_STR("locator($module, lat, lon, /, characters=6)\n--\n\n"
               "The locator of 2, 4, ..., 12 characters whose cell holds the exact\n"
               "position (lat, lon in degrees, read as doubles): a position on a\n"
               "boundary belongs to the cell north or east of it, latitude 90 to the\n"
               "top row, longitude 180 to column A (as -180). Unlike the DLL's six-\n"
               "character encoders, nothing is rounded on the way. ValueError for a\n"
               "latitude outside -90..90, a longitude outside -180..180, NaN, or\n"
               "another count of characters.")},
    {"locator_centre", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(LocatorCentre)),
     METH_O,
     PyDoc_STR("locator_centre($module, locator, /)\n--\n\n"
               "(lat, lon): the centre of a locator of 2 to 12 characters (either\n"
               "case, spaces at both ends skipped), each the double nearest the exact\n"
               "value. ValueError for a text that is no such locator (the DLL's\n"
               "lat_from_grid and long_from_grid validate nothing and give floats).")},
    {"locator_cell", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(LocatorCell)),
     METH_O,
     PyDoc_STR("locator_cell($module, locator, /)\n--\n\n"
               "The Cell of a locator: its centre (lat, lon), south-west corner\n"
               "(south, west) and size (height, width) in degrees, each the nearest\n"
               "double, and its count of characters. ValueError as locator_centre.")},
    {"is_locator", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(IsLocator)), METH_O,
     PyDoc_STR("is_locator($module, text, /)\n--\n\n"
               "The count of characters (2 to 12) of a str that is a locator, or 0\n"
               "for one that is not: pairs of field letters A-R, digits, letters\n"
               "a-x, digits, letters a-x, digits, in either case, spaces at both\n"
               "ends skipped. As a truth value: whether the text is a locator.")},
    {"grid_path", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(GridPath)),
     METH_FASTCALL,
     PyDoc_STR("grid_path($module, from_locator, to_locator, /)\n--\n\n"
               "The Path between the centres of two locators of 2 to 12 characters,\n"
               "as floats: for 4 or 6 characters the DLL's centres (lat_from_grid,\n"
               "long_from_grid), so that every figure is the DLL's; for the others the\n"
               "exact centre rounded to float. ValueError for a text that is no\n"
               "locator; PelmoraError as position_path.")},
    {"position_path", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(PositionPath)),
     METH_FASTCALL,
     PyDoc_STR("position_path($module, my_lat, my_lon, lat, lon, /)\n--\n\n"
               "The Path from my position to the other: distance and bearing as\n"
               "distance_from and azimut give them, and the long path the other way\n"
               "round the same great circle (see long_path_distance and\n"
               "long_path_bearing). Arguments are rounded to float as distance_from's.\n"
               "PelmoraError 513 when the distance or the bearing fails; its value is\n"
               "the Path, with the failed part and its long counterpart 0.")},
    {"long_path_distance",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(LongPathDistance)), METH_O,
     PyDoc_STR("long_path_distance($module, distance, /)\n--\n\n"
               "The long path's kilometres plus 0.5 from a short path's distance d\n"
               "(distance_from's result): the whole circle, 40004.2 - d in double\n"
               "rounded to float, or 40003.6992 for d = 0 (the same place).\n"
               "ValueError for a distance outside 0..20002.0996 or NaN.")},
    {"long_path_bearing",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(LongPathBearing)), METH_O,
     PyDoc_STR("long_path_bearing($module, bearing, /)\n--\n\n"
               "The reverse of a bearing in whole degrees: b + 180 below 180, else\n"
               "b - 180 (0 and 360 give 180). ValueError outside 0..360 or NaN.")},
    {nullptr, nullptr, 0, nullptr}};

// ---- The module ----

int Traverse(PyObject* module, visitproc visit, void* arg) {
  State* state = static_cast<State*>(PyModule_GetState(module));
  if (state == nullptr) return 0;
  Py_VISIT(state->error_class);
  Py_VISIT(state->numpy_empty);
  Py_VISIT(state->numpy_asarray);
  Py_VISIT(state->numpy_contiguous);
  Py_VISIT(state->numpy_ndarray);
  Py_VISIT(state->numpy_float32);
  Py_VISIT(state->numpy_float64);
  Py_VISIT(state->numpy_int32);
  Py_VISIT(state->array_type);
  Py_VISIT(state->cell_type);
  Py_VISIT(state->path_type);
  return 0;
}

int Clear(PyObject* module) {
  State* state = static_cast<State*>(PyModule_GetState(module));
  if (state == nullptr) return 0;
  Py_CLEAR(state->error_class);
  Py_CLEAR(state->numpy_empty);
  Py_CLEAR(state->numpy_asarray);
  Py_CLEAR(state->numpy_contiguous);
  Py_CLEAR(state->numpy_ndarray);
  Py_CLEAR(state->numpy_float32);
  Py_CLEAR(state->numpy_float64);
  Py_CLEAR(state->numpy_int32);
  Py_CLEAR(state->array_type);
  Py_CLEAR(state->cell_type);
  Py_CLEAR(state->path_type);
  return 0;
}

void Free(void* module) { Clear(static_cast<PyObject*>(module)); }

// Fills the state from this interpreter's modules: PelmoraError from
// pelmora._errors, and NumPy's functions, or array.array when NumPy cannot
// be imported (it is missing, or refuses this interpreter).
int Exec(PyObject* module) {
  State& state = StateOf(module);
  PyObject* errors = PyImport_ImportModule("pelmora._errors");
  if (errors == nullptr) return -1;
  state.error_class = PyObject_GetAttrString(errors, "PelmoraError");
  Py_DECREF(errors);
  if (state.error_class == nullptr) return -1;
  PyObject* numpy = PyImport_ImportModule("numpy");
  if (numpy != nullptr) {
    const struct {
      PyObject** to;
      const char* name;
    } names[] = {{&state.numpy_empty, "empty"},
                 {&state.numpy_asarray, "asarray"},
                 {&state.numpy_contiguous, "ascontiguousarray"},
                 {&state.numpy_ndarray, "ndarray"},
                 {&state.numpy_float32, "float32"},
                 {&state.numpy_float64, "float64"},
                 {&state.numpy_int32, "int32"}};
    for (const auto& name : names) {
      *name.to = PyObject_GetAttrString(numpy, name.name);
      if (*name.to == nullptr) {
        Py_DECREF(numpy);
        return -1;
      }
    }
    Py_DECREF(numpy);
    if (!PyType_Check(state.numpy_ndarray)) {
      PyErr_SetString(PyExc_ImportError, "numpy.ndarray is not a type");
      return -1;
    }
  } else {
    if (!PyErr_ExceptionMatches(PyExc_ImportError)) return -1;
    PyErr_Clear();
    PyObject* array = PyImport_ImportModule("array");
    if (array == nullptr) return -1;
    state.array_type = PyObject_GetAttrString(array, "array");
    Py_DECREF(array);
    if (state.array_type == nullptr) return -1;
  }
  PyStructSequence_Field cell_fields[] = {{"lat", "latitude of the centre, degrees"},
                                          {"lon", "longitude of the centre, degrees"},
                                          {"south", "latitude of the south-west corner"},
                                          {"west", "longitude of the south-west corner"},
                                          {"height", "degrees of latitude"},
                                          {"width", "degrees of longitude"},
                                          {"characters", "2 to 12"},
                                          {nullptr, nullptr}};
  PyStructSequence_Desc cell = {"pelmora.Cell", "A locator's cell, in degrees.", cell_fields, 7};
  PyStructSequence_Field path_fields[] = {{"distance", "km + 0.5 (distance_from)"},
                                          {"bearing", "whole degrees (azimut)"},
                                          {"long_distance", "km + 0.5 the other way round"},
                                          {"long_bearing", "whole degrees the other way round"},
                                          {nullptr, nullptr}};
  PyStructSequence_Desc path = {"pelmora.Path", "The short and the long path between two places.",
                                path_fields, 4};
  state.cell_type = reinterpret_cast<PyObject*>(PyStructSequence_NewType(&cell));
  if (state.cell_type == nullptr || PyModule_AddObjectRef(module, "Cell", state.cell_type) != 0)
    return -1;
  state.path_type = reinterpret_cast<PyObject*>(PyStructSequence_NewType(&path));
  if (state.path_type == nullptr || PyModule_AddObjectRef(module, "Path", state.path_type) != 0)
    return -1;
  return PyModule_AddStringConstant(module, "__version__", pelmora_version());
}

PyModuleDef_Slot kSlots[] = {{Py_mod_exec, reinterpret_cast<void*>(Exec)}, {0, nullptr}};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT,
                       "pelmora._pelmora",
                       PyDoc_STR("libpelmora's functions; see the pelmora package."),
                       sizeof(State),
                       kMethods,
                       kSlots,
                       Traverse,
                       Clear,
                       Free};

}  // namespace

PyMODINIT_FUNC PyInit__pelmora(void) { return PyModuleDef_Init(&kModule); }
