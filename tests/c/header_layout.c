/* Checks, with a plain C compiler, that user_surface.h lays the records out byte for byte as
 * surface libraries expect. Exits non-zero and names every field that is off. */
#include <stddef.h>
#include <stdio.h>

#include "user_surface.h"

static int failures = 0;

static void Check(const char* what, size_t actual, size_t expected) {
    if (actual != expected) {
        fprintf(stderr, "%s is %zu, expected %zu\n", what, actual, expected);
        ++failures;
    }
}

#define SIZE(T, n) Check("sizeof(" #T ")", sizeof(T), n)
#define AT(T, f, n) Check("offsetof(" #T ", " #f ")", offsetof(T, f), n)
#define COUNT(T, f, n) Check("count of " #T "." #f, sizeof(((T*)0)->f) / sizeof(((T*)0)->f[0]), n)

static void CheckUserData(void) {
    static const char* const names[] = {"x",     "y",    "z",    "l",    "m",    "n",
                                        "ln",    "mn",   "nn",   "path", "sag1", "sag2",
                                        "index", "dndx", "dndy", "dndz"};
    const size_t offsets[] = {
        offsetof(USER_DATA, x),     offsetof(USER_DATA, y),    offsetof(USER_DATA, z),
        offsetof(USER_DATA, l),     offsetof(USER_DATA, m),    offsetof(USER_DATA, n),
        offsetof(USER_DATA, ln),    offsetof(USER_DATA, mn),   offsetof(USER_DATA, nn),
        offsetof(USER_DATA, path),  offsetof(USER_DATA, sag1), offsetof(USER_DATA, sag2),
        offsetof(USER_DATA, index), offsetof(USER_DATA, dndx), offsetof(USER_DATA, dndy),
        offsetof(USER_DATA, dndz)};
    size_t i;
    for (i = 0; i < sizeof offsets / sizeof offsets[0]; ++i) Check(names[i], offsets[i], 8 * i);
    SIZE(USER_DATA, 192);
    AT(USER_DATA, rel_surf_tran, 128);
    AT(USER_DATA, udreserved1, 136);
    AT(USER_DATA, udreserved2, 144);
    AT(USER_DATA, udreserved3, 152);
    AT(USER_DATA, udreserved4, 160);
    AT(USER_DATA, string, 168);
    COUNT(USER_DATA, string, 20);
}

static void CheckFixedData(void) {
    SIZE(FIXED_DATA, 1816);
    AT(FIXED_DATA, type, 0);
    AT(FIXED_DATA, numb, 4);
    AT(FIXED_DATA, surf, 8);
    AT(FIXED_DATA, wave, 12);
    AT(FIXED_DATA, wavelength, 16);
    AT(FIXED_DATA, pwavelength, 24);
    AT(FIXED_DATA, n1, 32);
    AT(FIXED_DATA, n2, 40);
    AT(FIXED_DATA, cv, 48);
    AT(FIXED_DATA, thic, 56);
    AT(FIXED_DATA, sdia, 64);
    AT(FIXED_DATA, k, 72);
    AT(FIXED_DATA, param, 80);
    COUNT(FIXED_DATA, param, 9);
    AT(FIXED_DATA, fdreserved1, 152);
    AT(FIXED_DATA, fdreserved2, 160);
    AT(FIXED_DATA, fdreserved3, 168);
    AT(FIXED_DATA, fdreserved4, 176);
    AT(FIXED_DATA, xdata, 184);
    COUNT(FIXED_DATA, xdata, 201);
    AT(FIXED_DATA, glass, 1792);
    COUNT(FIXED_DATA, glass, 21);
}

static void CheckFixedData2(void) {
    SIZE(FIXED_DATA2, 2368);
    AT(FIXED_DATA2, type, 0);
    AT(FIXED_DATA2, numb, 4);
    AT(FIXED_DATA2, surf, 8);
    AT(FIXED_DATA2, wave, 12);
    AT(FIXED_DATA2, unit, 16);
    AT(FIXED_DATA2, wavelength, 24);
    AT(FIXED_DATA2, pwavelength, 32);
    AT(FIXED_DATA2, n1, 40);
    AT(FIXED_DATA2, n2, 48);
    AT(FIXED_DATA2, cv, 56);
    AT(FIXED_DATA2, thic, 64);
    AT(FIXED_DATA2, sdia, 72);
    AT(FIXED_DATA2, k, 80);
    AT(FIXED_DATA2, ireserved, 88);
    COUNT(FIXED_DATA2, ireserved, 20);
    AT(FIXED_DATA2, dbreserved, 168);
    COUNT(FIXED_DATA2, dbreserved, 20);
    AT(FIXED_DATA2, param, 328);
    COUNT(FIXED_DATA2, param, 51);
    AT(FIXED_DATA2, xdata, 736);
    COUNT(FIXED_DATA2, xdata, 201);
    AT(FIXED_DATA2, glass, 2344);
    COUNT(FIXED_DATA2, glass, 21);
}

/* FIXED_DATA3, FIXED_DATA4 and FIXED_DATA5 agree up to and including k. */
#define CHECK_FIXED_DATA3_OPTICS(T) \
    AT(T, type, 0);                 \
    AT(T, numb, 4);                 \
    AT(T, surf, 8);                 \
    AT(T, wave, 12);                \
    AT(T, unit, 16);                \
    AT(T, serial, 20);              \
    AT(T, is_a_mirror, 24);         \
    AT(T, is_in_mirror_space, 28);  \
    AT(T, is_air, 32);              \
    AT(T, ireserved, 36);           \
    COUNT(T, ireserved, 100);       \
    AT(T, did_polar, 436);          \
    AT(T, max_parameter, 440);      \
    AT(T, max_extradata, 444);      \
    AT(T, Exr, 448);                \
    AT(T, Exi, 456);                \
    AT(T, Eyr, 464);                \
    AT(T, Eyi, 472);                \
    AT(T, Ezr, 480);                \
    AT(T, Ezi, 488);                \
    AT(T, Ewr, 496);                \
    AT(T, Ewi, 504);                \
    AT(T, dbreserved, 512);         \
    COUNT(T, dbreserved, 100);      \
    AT(T, wavelength, 1312);        \
    AT(T, pwavelength, 1320);       \
    AT(T, n1, 1328);                \
    AT(T, n2, 1336);                \
    AT(T, cv, 1344);                \
    AT(T, thic, 1352);              \
    AT(T, sdia, 1360);              \
    AT(T, k, 1368)

/* FIXED_DATA3 and FIXED_DATA4 agree up to and including comment. */
#define CHECK_FIXED_DATA3_HEAD(T) \
    CHECK_FIXED_DATA3_OPTICS(T);  \
    AT(T, param, 1376);           \
    COUNT(T, param, 201);         \
    AT(T, xdata, 2984);           \
    COUNT(T, xdata, 501);         \
    AT(T, glass, 6992);           \
    COUNT(T, glass, 200);         \
    AT(T, comment, 7192);         \
    COUNT(T, comment, 200)

static void CheckFixedData3(void) {
    SIZE(FIXED_DATA3, 7416);
    CHECK_FIXED_DATA3_HEAD(FIXED_DATA3);
    AT(FIXED_DATA3, int_data, 7392);
    AT(FIXED_DATA3, db_data, 7400);
    AT(FIXED_DATA3, c_data, 7408);
    Check("sizeof(int_data)", sizeof(((FIXED_DATA3*)0)->int_data), 8);
}

static void CheckFixedData4(void) {
    SIZE(FIXED_DATA4, 45808);
    CHECK_FIXED_DATA3_HEAD(FIXED_DATA4);
    AT(FIXED_DATA4, datasurf_numvalues, 7392);
    AT(FIXED_DATA4, datasurf_values, 7400);
    COUNT(FIXED_DATA4, datasurf_values, 4801);
}

static void CheckFixedData5(void) {
    SIZE(FIXED_DATA5, 42240);
    CHECK_FIXED_DATA3_OPTICS(FIXED_DATA5);
    AT(FIXED_DATA5, param, 1376);
    COUNT(FIXED_DATA5, param, 256);
    AT(FIXED_DATA5, glass, 3424);
    COUNT(FIXED_DATA5, glass, 200);
    AT(FIXED_DATA5, comment, 3624);
    COUNT(FIXED_DATA5, comment, 200);
    AT(FIXED_DATA5, datasurf_numvalues, 3824);
    AT(FIXED_DATA5, datasurf_values, 3832);
    COUNT(FIXED_DATA5, datasurf_values, 4801);
}

int main(void) {
    Check("sizeof(int)", sizeof(int), 4);
    Check("sizeof(double)", sizeof(double), 8);
    Check("sizeof(void*)", sizeof(void*), 8);
    CheckUserData();
    CheckFixedData();
    CheckFixedData2();
    CheckFixedData3();
    CheckFixedData4();
    CheckFixedData5();
    if (failures) fprintf(stderr, "%d layout mismatches\n", failures);
    return failures ? 1 : 0;
}
