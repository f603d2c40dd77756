/* Hamlib's debug messages, removed so that its arithmetic alone is timed.
 *
 * Each locator and distance call of the library formats a "called" message
 * with snprintf (or __snprintf_chk, where the library was built fortified),
 * then calls rig_debug and add2debugmsgsave, whatever the debug level. The
 * definitions here take the library's place in the program. snprintf does
 * nothing only while pelmora_hamlib_silenced is set, that is while a Hamlib
 * call is timed; otherwise it formats as usual, for the benchmark library's
 * own output. Every stub counts its calls, so a benchmark can tell that it
 * was reached. */
#include <stdarg.h>
#include <stddef.h>

int vsnprintf(char *s, size_t n, const char *format, va_list ap);
int __vsnprintf_chk(char *s, size_t n, int flag, size_t slen, const char *format, va_list ap);

int pelmora_hamlib_silenced;
long pelmora_hamlib_snprintf_calls;
long pelmora_hamlib_rig_debug_calls;
long pelmora_hamlib_add2debugmsgsave_calls;

int snprintf(char *s, size_t n, const char *format, ...) {
  if (pelmora_hamlib_silenced) {
    ++pelmora_hamlib_snprintf_calls;
    return 0;
  }
  va_list ap;
  va_start(ap, format);
  const int written = vsnprintf(s, n, format, ap);
  va_end(ap);
  return written;
}

int __snprintf_chk(char *s, size_t n, int flag, size_t slen, const char *format, ...) {
  if (pelmora_hamlib_silenced) {
    ++pelmora_hamlib_snprintf_calls;
    return 0;
  }
  va_list ap;
  va_start(ap, format);
  const int written = __vsnprintf_chk(s, n, flag, slen, format, ap);
  va_end(ap);
  return written;
}

void rig_debug(int level, const char *format, ...) {
  (void)level;
  (void)format;
  ++pelmora_hamlib_rig_debug_calls;
}

void add2debugmsgsave(const char *s) {
  (void)s;
  ++pelmora_hamlib_add2debugmsgsave_calls;
}
