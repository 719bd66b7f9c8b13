/*
 * user_surface.h - records exchanged between a host and a user-defined surface library.
 *
 * A surface library exports one entry point:
 *
 *   int UserDefinedSurface (USER_DATA *ud, FIXED_DATA  *fd);   record version 0
 *   int UserDefinedSurface2(USER_DATA *ud, FIXED_DATA2 *fd);   record version 1
 *   int UserDefinedSurface3(USER_DATA *ud, FIXED_DATA3 *fd);   record version 2
 *   int UserDefinedSurface4(USER_DATA *ud, FIXED_DATA4 *fd);   record version 3
 *   int UserDefinedSurface5(USER_DATA *ud, FIXED_DATA5 *fd);   record version 4
 *
 * and returns 0 for success. A host looks the names up in this order and uses the first one
 * the library exports. The host chooses the request with fd->type (and fd->numb):
 *
 *   type numb  request                         library answers in
 *   0    0     surface name                    ud->string
 *   0    2     gradient-index question         ud->string (non-empty: gradient-index medium)
 *   1    k     name of param[k]                ud->string (empty: not used)
 *   2    k     name of xdata[k]                ud->string (empty: not used)
 *   3          sag at (x, y)                   ud->sag1, ud->sag2
 *   4          paraxial ray trace              l, m, n, ln, mn, nn
 *   5          real ray trace                  x, y, z, l, m, n, ln, mn, nn, path
 *   6          index at (x, y, z)              index, dndx, dndy, dndz
 *   7          safe (default) data             writes defaults into the FIXED_DATA record
 *
 * The layouts are natural alignment on x86-64 (int 4 bytes, double and pointers 8), so any
 * C or C++ compiler for x86-64 Linux or Windows produces the same bytes. Character arrays hold
 * zero-terminated text in code page 932.
 *
 * Build a library on Linux:
 *   cc -shared -fPIC -O2 -I<velmor>/examples/include my_surface.c -o my_surface.so -lm
 * A source written for Windows (it includes <windows.h>) also needs
 * -I<velmor>/examples/include/win32 before it.
 */
#ifndef USER_SURFACE_H
#define USER_SURFACE_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define USER_SURFACE_EXPORT __declspec(dllexport)
#else
#define USER_SURFACE_EXPORT __attribute__((visibility("default")))
#endif

/* 192 bytes */
typedef struct USER_DATA {
    double x, y, z;          /* point / ray start and intersection */
    double l, m, n;          /* ray direction cosines */
    double ln, mn, nn;       /* surface normal */
    double path;             /* path length added by the trace */
    double sag1, sag2;       /* sag and alternate sag */
    double index;            /* refractive index at the point */
    double dndx, dndy, dndz; /* index gradient */
    double rel_surf_tran;    /* relative surface transmission */
    double udreserved1, udreserved2, udreserved3, udreserved4;
    char string[20]; /* text answers: names, yes/no */
} USER_DATA;

/* record version 0, 1816 bytes */
typedef struct FIXED_DATA {
    int type, numb, surf, wave;
    double wavelength, pwavelength;
    double n1, n2;
    double cv, thic, sdia, k;
    double param[9];
    double fdreserved1, fdreserved2, fdreserved3, fdreserved4;
    double xdata[201];
    char glass[21];
} FIXED_DATA;

/* record version 1, 2368 bytes */
typedef struct FIXED_DATA2 {
    int type, numb, surf, wave, unit;
    double wavelength, pwavelength;
    double n1, n2;
    double cv, thic, sdia, k;
    int ireserved[20];
    double dbreserved[20];
    double param[51];
    double xdata[201];
    char glass[21];
} FIXED_DATA2;

/* record version 2, 7416 bytes */
typedef struct FIXED_DATA3 {
    int type, numb, surf, wave, unit, serial, is_a_mirror, is_in_mirror_space, is_air;
    int ireserved[100];
    int did_polar, max_parameter, max_extradata;
    double Exr, Exi, Eyr, Eyi, Ezr, Ezi, Ewr, Ewi;
    double dbreserved[100];
    double wavelength, pwavelength;
    double n1, n2;
    double cv, thic, sdia, k;
    double param[201];
    double xdata[501];
    char glass[200];
    char comment[200];
    int* int_data;
    double* db_data;
    char* c_data;
} FIXED_DATA3;

/* record version 3, 45808 bytes */
typedef struct FIXED_DATA4 {
    int type, numb, surf, wave, unit, serial, is_a_mirror, is_in_mirror_space, is_air;
    int ireserved[100];
    int did_polar, max_parameter, max_extradata;
    double Exr, Exi, Eyr, Eyi, Ezr, Ezi, Ewr, Ewi;
    double dbreserved[100];
    double wavelength, pwavelength;
    double n1, n2;
    double cv, thic, sdia, k;
    double param[201];
    double xdata[501];
    char glass[200];
    char comment[200];
    int datasurf_numvalues;
    double datasurf_values[4801];
} FIXED_DATA4;

/* record version 4, 42240 bytes: FIXED_DATA3 up to k, a wider param and no xdata */
typedef struct FIXED_DATA5 {
    int type, numb, surf, wave, unit, serial, is_a_mirror, is_in_mirror_space, is_air;
    int ireserved[100];
    int did_polar, max_parameter, max_extradata;
    double Exr, Exi, Eyr, Eyi, Ezr, Ezi, Ewr, Ewi;
    double dbreserved[100];
    double wavelength, pwavelength;
    double n1, n2;
    double cv, thic, sdia, k;
    double param[256];
    char glass[200];
    char comment[200];
    int datasurf_numvalues;
    double datasurf_values[4801];
} FIXED_DATA5;

#ifdef __cplusplus
}
#endif

#endif /* USER_SURFACE_H */
