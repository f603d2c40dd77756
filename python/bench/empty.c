/* An empty C-extension function of four arguments, the floor a Python call
 * of a C function costs (the pelmora module's functions are measured against
 * it). Built by tools/bench_interfaces.sh. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

static PyObject *empty(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
  (void)self;
  (void)args;
  (void)nargs;
  Py_RETURN_NONE;
}

static PyMethodDef methods[] = {{"empty", (PyCFunction)(void (*)(void))empty, METH_FASTCALL, NULL},
                                {NULL, NULL, 0, NULL}};
static struct PyModuleDef module = {
    PyModuleDef_HEAD_INIT, "pelmora_empty", NULL, -1, methods, NULL, NULL, NULL, NULL};

PyMODINIT_FUNC PyInit_pelmora_empty(void) { return PyModule_Create(&module); }
