/* Shifts the wall clock of the 32-bit Wine processes of a dated run by TOLM_CLOCK_SHIFT seconds.
 *
 * The faketime library does this for every other process of the run, the Wine server among
 * them, but Debian's 32-bit Wine is built with 64-bit time and reads the clock through glibc's
 * __clock_gettime64, __gettimeofday64 and __time64, which that library does not know. Its 32-bit
 * programs would see today's date while the server lives months away, and the server's
 * deadlines would never come. Only the wall clock moves; the monotonic clock stays true for
 * every process, as the faketime library is told too (DONT_FAKE_MONOTONIC).
 *
 * Loaded into 32-bit processes only (with-clock.sh), in place of the faketime library, with
 * which Debian's 32-bit Wine hangs at its start. No C library headers: the shapes
 * below are glibc's 64-bit-time records. */
typedef long long i64;
struct ts64 { i64 sec; long nsec; long pad; };
struct tv64 { i64 sec; i64 usec; };
extern void* dlsym(void*, const char*);
extern char* getenv(const char*);
#define NEXT ((void*)-1l)

static i64 shift(void) {
    static int known;
    static i64 s;
    if (!known) {
        const char* e = getenv("TOLM_CLOCK_SHIFT");
        int negative = 0;
        i64 v = 0;
        if (e && (*e == '-' || *e == '+')) negative = *e++ == '-';
        while (e && *e >= '0' && *e <= '9') v = v * 10 + (*e++ - '0');
        s = negative ? -v : v;
        known = 1;
    }
    return s;
}

/* CLOCK_REALTIME, _COARSE, _ALARM and CLOCK_TAI: the clocks that tell the date. */
static int wall(int id) { return id == 0 || id == 5 || id == 8 || id == 11; }

int __clock_gettime64(int id, struct ts64* t) {
    static int (*real)(int, struct ts64*);
    if (!real) real = (int (*)(int, struct ts64*))dlsym(NEXT, "__clock_gettime64");
    int r = real(id, t);
    if (r == 0 && t && wall(id)) t->sec += shift();
    return r;
}

int __gettimeofday64(struct tv64* tv, void* tz) {
    static int (*real)(struct tv64*, void*);
    if (!real) real = (int (*)(struct tv64*, void*))dlsym(NEXT, "__gettimeofday64");
    int r = real(tv, tz);
    if (r == 0 && tv) tv->sec += shift();
    return r;
}

i64 __time64(i64* out) {
    static i64 (*real)(i64*);
    if (!real) real = (i64 (*)(i64*))dlsym(NEXT, "__time64");
    i64 t = real(0);
    if (t != -1) t += shift();
    if (out) *out = t;
    return t;
}
