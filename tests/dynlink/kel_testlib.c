/* A library of our own for the DynamicLink tests: functions of 0 to 6
   arguments mixing integers and doubles under each calling convention, a
   structure filled in place, results through pointers and an export that
   has only an ordinal. Each result tells whether every argument arrived. */

#include <string.h>

#ifdef _WIN32
#define KEL_EXPORT __declspec(dllexport)
#define KEL_STDCALL __stdcall
#else
#define KEL_EXPORT __attribute__((visibility("default")))
#define KEL_STDCALL
#endif

/* A number that changes when any argument is wrong or out of place. */
static int Mix(int a, double b, int c, double d, int e, int f) {
  return a * 1 + (int)(b * 10.0) + c * 100 + (int)(d * 1000.0) + e * 10000 + f * 100000;
}

KEL_EXPORT int Answer(void) { return 42; }
KEL_EXPORT int CdeclMix(int a, double b, int c, double d, int e, int f) { return Mix(a, b, c, d, e, f); }
KEL_EXPORT int CdeclSum3(int a, int b, int c) { return a + 2 * b + 3 * c; }
KEL_EXPORT int CdeclNegative(int a) { return a < 0 ? -a : a + 1000; }

KEL_EXPORT int KEL_STDCALL StdZero(void) { return 7; }
KEL_EXPORT int KEL_STDCALL StdMix(int a, double b, int c, double d, int e, int f) { return Mix(a, b, c, d, e, f); }
KEL_EXPORT int KEL_STDCALL StdTwo(int a, int b) { return a - b; }

/* Pascal functions of (a, b, ...): the arguments arrive last first, so the C
   definitions name them in reverse. */
KEL_EXPORT int KEL_STDCALL PascalMix(int f, int e, double d, int c, double b, int a) {
  return Mix(a, b, c, d, e, f);
}
KEL_EXPORT int KEL_STDCALL PascalTwo(int b, int a) { return a - b; }

struct KelPoint {
  int x;
  int y;
  double scale;
  char name[8];
};

/* Changes every member of the structure and returns x + y. */
KEL_EXPORT int ScalePoint(struct KelPoint* point) {
  point->x *= 2;
  point->y += 1;
  point->scale *= 1.5;
  strcpy(point->name, "scaled");
  return point->x + point->y;
}

KEL_EXPORT void StoreInt(int* out) { *out = 1234; }
/* Writes 8 bytes: the caller's cell must hold them. */
KEL_EXPORT void StoreLong(long long* out) { *out = 0x0000000500000007LL; }
KEL_EXPORT void StoreNothing(int* out) { (void)out; }

/* Exported by ordinal 42 only (Windows). */
int ByOrdinal(void) { return 99; }
