/* The floors the pelmora module is measured against (built by
 * tools/bench_interfaces.sh, linked with libpelmora.so):
 *   empty(a, b, c, d)    an empty C-extension function of four arguments,
 *                        what a Python call of a C function costs at least;
 *   distance_loop(a_lat, a_lon, b_lat, b_lon, out)
 *                        pelmora_distance_from over float32 buffers in C,
 *                        the C library's own cost per element;
 *   c_calls(k, n)        n calls in C of the k-th C function with the
 *                        arguments the benchmark gives its Python
 *                        function, what the C library's own call costs. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "pelmora.h"

static PyObject *empty(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
  (void)self;
  (void)args;
  (void)nargs;
  Py_RETURN_NONE;
}

static PyObject *distance_loop(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
  Py_buffer views[5];
  int taken = 0;
  PyObject *result = NULL;
  (void)self;
  if (nargs != 5) {
    PyErr_SetString(PyExc_TypeError, "distance_loop takes 5 float32 arrays");
    return NULL;
  }
  for (; taken < 5; ++taken) {
    const int flags = PyBUF_C_CONTIGUOUS | (taken == 4 ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(args[taken], &views[taken], flags) != 0) goto done;
  }
  {
    const float *a = views[0].buf, *b = views[1].buf, *c = views[2].buf, *d = views[3].buf;
    float *out = views[4].buf;
    const Py_ssize_t n = views[4].len / (Py_ssize_t)sizeof(float);
    for (Py_ssize_t i = 0; i < n; ++i) pelmora_distance_from(a[i], b[i], c[i], d[i], &out[i]);
  }
  result = Py_NewRef(Py_None);
done:
  while (taken > 0) PyBuffer_Release(&views[--taken]);
  return result;
}

static PyObject *c_calls(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
  (void)self;
  if (nargs != 2) {
    PyErr_SetString(PyExc_TypeError, "c_calls takes 2 integers");
    return NULL;
  }
  const long k = PyLong_AsLong(args[0]);
  const Py_ssize_t n = PyLong_AsSsize_t(args[1]);
  if (PyErr_Occurred()) return NULL;
  /* volatile: every call reads its arguments anew, as from Python. */
  volatile float lat = 52.5f, lon = 13.4f, lat2 = 40.7f, lon2 = -74.0f, x = 0.5f;
  float r;
  char text[PELMORA_LOCATOR_SIZE];
  const char *grid = "JO62qm";
  for (Py_ssize_t i = 0; i < n; ++i) {
    switch (k) {
      case 0:
        pelmora_distance_from(lat, lon, lat2, lon2, &r);
        break;
      case 1:
        pelmora_azimut(lat, lon, lat2, lon2, &r);
        break;
      case 2:
        pelmora_arc_cos(x, &r);
        break;
      case 3:
        pelmora_grid_from_lat_long(lat, lon, text, sizeof text);
        break;
      case 4:
        pelmora_s_locator(lat, lon, text, sizeof text);
        break;
      case 5:
        pelmora_lat_from_grid(grid, 6, &r);
        break;
      default:
        pelmora_long_from_grid(grid, 6, &r);
        break;
    }
  }
  Py_RETURN_NONE;
}

static PyMethodDef methods[] = {
    {"empty", (PyCFunction)(void (*)(void))empty, METH_FASTCALL, NULL},
    {"distance_loop", (PyCFunction)(void (*)(void))distance_loop, METH_FASTCALL, NULL},
    {"c_calls", (PyCFunction)(void (*)(void))c_calls, METH_FASTCALL, NULL},
    {NULL, NULL, 0, NULL}};
static struct PyModuleDef module = {
    PyModuleDef_HEAD_INIT, "pelmora_bench", NULL, -1, methods, NULL, NULL, NULL, NULL};

PyMODINIT_FUNC PyInit_pelmora_bench(void) { return PyModule_Create(&module); }
