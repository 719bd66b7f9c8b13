/*
 * windows.h - what surface library sources written for Windows commonly take from the Windows
 * headers, so that such a source builds unchanged on Linux:
 *
 *   cc -shared -fPIC -O2 -I examples/include/win32 -I examples/include my_surface.c \
 *      -o my_surface.so -lm
 *
 * Velmor's own header, not the platform's: it declares a small part of the Windows API with the
 * sizes and meanings a library sees on 64-bit Windows.
 *
 * - Types keep their Windows sizes: DWORD, ULONG and UINT are 32-bit unsigned, LONG and INT
 *   32-bit signed (also where long has 64 bits), BOOL is int, handles are pointers.
 * - __declspec(dllexport) exports a symbol (default visibility); WINAPI, APIENTRY and CALLBACK
 *   are empty (x86-64 has one calling convention).
 * - DllMain: a host that follows Velmor's rules calls it as the Windows loader would, with the
 *   library's handle, DLL_PROCESS_ATTACH after loading the library and DLL_PROCESS_DETACH before
 *   unloading it; FALSE from the attach call fails the load. It is declared here with C linkage
 *   and default visibility, so it is found also in C++ sources and in builds that hide symbols.
 * - MessageBoxA (and MessageBox) writes its caption and text to standard error and answers IDOK.
 * - _itoa, _ltoa, _ultoa and _snprintf behave as on Windows (_snprintf writes no terminator when
 *   the text is cut and then returns -1).
 * - strcpy_s, strcat_s and strncpy_s empty the destination and return ERANGE when the text does
 *   not fit, EINVAL for a missing argument; sprintf_s empties it and returns -1 with errno set to
 *   ERANGE, as it returns a count. None of them ever ends the program. In C++ the forms that take
 *   a char array without its size are there too.
 * - max and min are macros in C, each unless the source defined it before (or NOMINMAX); in C++
 *   they would break the standard library's headers, so std::max and std::min serve there.
 *
 * _WIN32 is not defined: code a source keeps under #ifdef _WIN32 stays out of the build. Only the
 * ANSI forms are here (no wide-character functions; TCHAR is char).
 */
#ifndef VELMOR_WIN32_WINDOWS_H
#define VELMOR_WIN32_WINDOWS_H

#include <ctype.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* ---- Types ------------------------------------------------------------------------------- */

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char BOOLEAN;
typedef unsigned short WORD;
typedef unsigned int DWORD;
typedef unsigned int UINT;
typedef int INT;
typedef int LONG;
typedef unsigned int ULONG;
typedef short SHORT;
typedef unsigned short USHORT;
typedef char CHAR;
typedef unsigned char UCHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG;
typedef ptrdiff_t INT_PTR;
typedef ptrdiff_t LONG_PTR;
typedef size_t UINT_PTR;
typedef size_t ULONG_PTR;
typedef size_t DWORD_PTR;
typedef size_t SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* PSTR;
typedef char* LPSTR;
typedef const char* PCSTR;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef BOOL* LPBOOL;
typedef INT* LPINT;
typedef LONG* LPLONG;
typedef DWORD* LPDWORD;
typedef char TCHAR;
typedef char* LPTSTR;
typedef const char* LPCTSTR;

typedef void* HANDLE;
typedef HANDLE HINSTANCE;
typedef HANDLE HMODULE;
typedef HANDLE HWND;

typedef int errno_t;

#ifndef VOID
#define VOID void
#endif
#ifndef CONST
#define CONST const
#endif
#ifndef TEXT
#define TEXT(text) text
#endif
#ifndef __int64
#define __int64 long long
#endif

/* ---- Declaration words ------------------------------------------------------------------- */

#ifndef __declspec
#define __declspec(attribute) VELMOR_DECLSPEC_##attribute
#endif
#define VELMOR_DECLSPEC_dllexport __attribute__((visibility("default")))
#define VELMOR_DECLSPEC_dllimport
#define VELMOR_DECLSPEC_noinline __attribute__((noinline))
#define VELMOR_DECLSPEC_noreturn __attribute__((noreturn))
#define VELMOR_DECLSPEC_selectany __attribute__((weak))
#define VELMOR_DECLSPEC_thread __thread
#define VELMOR_DECLSPEC_align(bytes) __attribute__((aligned(bytes)))

#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif
#ifndef __fastcall
#define __fastcall
#endif
#ifndef __forceinline
#define __forceinline inline __attribute__((always_inline))
#endif
#define WINAPI __stdcall
#define WINAPIV __cdecl
#define APIENTRY WINAPI
#define CALLBACK __stdcall
#ifndef FAR
#define FAR
#endif
#ifndef NEAR
#define NEAR
#endif
#ifndef IN
#define IN
#endif
#ifndef OUT
#define OUT
#endif
#ifndef OPTIONAL
#define OPTIONAL
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define MAX_PATH 260
#define UNREFERENCED_PARAMETER(parameter) ((void)(parameter))
#ifndef _countof
#define _countof(array) (sizeof(array) / sizeof((array)[0]))
#endif

/* ---- DllMain ----------------------------------------------------------------------------- */

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#ifdef __cplusplus
extern "C" {
#endif
__attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);
#ifdef __cplusplus
}
#endif

/* ---- Message boxes and debug output ------------------------------------------------------ */

#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_ABORTRETRYIGNORE 0x00000002
#define MB_YESNOCANCEL 0x00000003
#define MB_YESNO 0x00000004
#define MB_RETRYCANCEL 0x00000005
#define MB_CANCELTRYCONTINUE 0x00000006
#define MB_ICONHAND 0x00000010
#define MB_ICONQUESTION 0x00000020
#define MB_ICONEXCLAMATION 0x00000030
#define MB_ICONASTERISK 0x00000040
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000
#define MB_DEFBUTTON2 0x00000100
#define MB_DEFBUTTON3 0x00000200
#define MB_APPLMODAL 0x00000000
#define MB_SYSTEMMODAL 0x00001000
#define MB_TASKMODAL 0x00002000
#define MB_SETFOREGROUND 0x00010000
#define MB_TOPMOST 0x00040000

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

/* The box's caption and text as one line on standard error; no one is there to press a
   button, so the answer is always IDOK. */
static inline int MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type) {
    (void)window;
    (void)type;
    if (caption != NULL && caption[0] != '\0') fprintf(stderr, "%s: ", caption);
    fprintf(stderr, "%s\n", text != NULL ? text : "");
    fflush(stderr);
    return IDOK;
}
#define MessageBox MessageBoxA

static inline void OutputDebugStringA(LPCSTR text) {
    fputs(text != NULL ? text : "", stderr);
    fflush(stderr);
}
#define OutputDebugString OutputDebugStringA

#define ZeroMemory(destination, length) memset((destination), 0, (length))
#define FillMemory(destination, length, fill) memset((destination), (fill), (length))
#define CopyMemory(destination, source, length) memcpy((destination), (source), (length))
#define MoveMemory(destination, source, length) memmove((destination), (source), (length))

/* ---- Numbers to text --------------------------------------------------------------------- */

/* `value` in `radix` (2 to 36, lower-case digits), after a minus sign when `negative`. Another
   radix gives an empty text. */
static inline char* VelmorWin32Digits(unsigned long long value, int negative, char* buffer,
                                      int radix) {
    char digits[64];
    int count = 0;
    char* out = buffer;
    if (buffer == NULL) return NULL;
    if (radix < 2 || radix > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    do {
        const int digit = (int)(value % (unsigned)radix);
        digits[count++] = (char)(digit < 10 ? '0' + digit : 'a' + digit - 10);
        value /= (unsigned)radix;
    } while (value != 0);
    if (negative) *out++ = '-';
    while (count > 0) *out++ = digits[--count];
    *out = '\0';
    return buffer;
}

/* As on Windows: a negative value has a minus sign in radix 10 and is read as unsigned in any
   other radix (its 32-bit two's complement, a Windows long having 32 bits). */
static inline char* _itoa(int value, char* buffer, int radix) {
    if (radix == 10 && value < 0) {
        return VelmorWin32Digits(0ull - (unsigned long long)(long long)value, 1, buffer, radix);
    }
    return VelmorWin32Digits((unsigned int)value, 0, buffer, radix);
}

static inline char* _ltoa(long value, char* buffer, int radix) {
    if (radix == 10 && value < 0) {
        return VelmorWin32Digits(0ull - (unsigned long long)(long long)value, 1, buffer, radix);
    }
    if (value < 0 && value >= -2147483647L - 1) {
        return VelmorWin32Digits((unsigned int)value, 0, buffer, radix);
    }
    return VelmorWin32Digits((unsigned long)value, 0, buffer, radix);
}

static inline char* _ultoa(unsigned long value, char* buffer, int radix) {
    return VelmorWin32Digits(value, 0, buffer, radix);
}

/* ---- Bounded formatting and copying ------------------------------------------------------ */

/* At most `count` characters. A text that fits with its terminator: its length. One of exactly
   `count` characters: written without a terminator, `count`. A longer one: its first `count`
   characters without a terminator, -1. No buffer and a count of 0: the text's length. */
static inline int _vsnprintf(char* buffer, size_t count, const char* format, va_list args) {
    va_list measure;
    int length;
    char* whole;
    va_copy(measure, args);
    length = vsnprintf(NULL, 0, format, measure);
    va_end(measure);
    if (length < 0) return -1;
    if (buffer == NULL && count == 0) return length; /* the room a text needs */
    if ((size_t)length < count) return vsnprintf(buffer, count, format, args);
    if (count > 0) {
        whole = (char*)malloc((size_t)length + 1);
        if (whole == NULL) {
            vsnprintf(buffer, count, format, args);
            return -1;
        }
        vsnprintf(whole, (size_t)length + 1, format, args);
        memcpy(buffer, whole, count);
        free(whole);
    }
    return (size_t)length == count ? length : -1;
}

static inline int _snprintf(char* buffer, size_t count, const char* format, ...) {
    va_list args;
    int length;
    va_start(args, format);
    length = _vsnprintf(buffer, count, format, args);
    va_end(args);
    return length;
}

/* The text with its terminator, and its length; a text that does not fit leaves the buffer
   empty and answers -1 (errno ERANGE). */
static inline int vsprintf_s(char* buffer, size_t size, const char* format, va_list args) {
    int length;
    if (buffer == NULL || size == 0 || format == NULL) {
        if (buffer != NULL && size > 0) buffer[0] = '\0';
        errno = EINVAL;
        return -1;
    }
    length = vsnprintf(buffer, size, format, args);
    if (length < 0 || (size_t)length >= size) {
        buffer[0] = '\0';
        errno = length < 0 ? EINVAL : ERANGE;
        return -1;
    }
    return length;
}

static inline int sprintf_s(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    int length;
    va_start(args, format);
    length = vsprintf_s(buffer, size, format, args);
    va_end(args);
    return length;
}

/* Length of `text` when it ends within `limit` bytes, else `limit`. */
static inline size_t VelmorWin32Length(const char* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

static inline errno_t strcpy_s(char* destination, size_t size, const char* source) {
    size_t length;
    if (destination == NULL || size == 0) return EINVAL;
    if (source == NULL) {
        destination[0] = '\0';
        return EINVAL;
    }
    length = VelmorWin32Length(source, size);
    if (length == size) {
        destination[0] = '\0';
        return ERANGE;
    }
    memcpy(destination, source, length + 1);
    return 0;
}

static inline errno_t strcat_s(char* destination, size_t size, const char* source) {
    size_t used, length;
    if (destination == NULL || size == 0) return EINVAL;
    used = VelmorWin32Length(destination, size);
    if (source == NULL || used == size) { /* no source, or a destination without its end */
        destination[0] = '\0';
        return EINVAL;
    }
    length = VelmorWin32Length(source, size - used);
    if (length == size - used) {
        destination[0] = '\0';
        return ERANGE;
    }
    memcpy(destination + used, source, length + 1);
    return 0;
}

/* strncpy_s's `count` that copies what fits and answers STRUNCATE when the text was cut. */
#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif
#ifndef STRUNCATE
#define STRUNCATE 80
#endif

/* At most `count` characters of `source`, always with a terminator. */
static inline errno_t strncpy_s(char* destination, size_t size, const char* source, size_t count) {
    size_t length;
    if (destination == NULL || size == 0) return EINVAL;
    if (source == NULL) {
        destination[0] = '\0';
        return count == 0 ? 0 : EINVAL;
    }
    length = VelmorWin32Length(source, count < size ? count : size);
    if (length < size) {
        memcpy(destination, source, length);
        destination[length] = '\0';
        return 0;
    }
    if (count == _TRUNCATE) {
        memcpy(destination, source, size - 1);
        destination[size - 1] = '\0';
        return STRUNCATE;
    }
    destination[0] = '\0';
    return ERANGE;
}

/* ---- Other C runtime names --------------------------------------------------------------- */

/* Compares as if both texts were lower case. */
static inline int _strnicmp(const char* a, const char* b, size_t count) {
    size_t i;
    for (i = 0; i < count; ++i) {
        const int ca = tolower((unsigned char)a[i]), cb = tolower((unsigned char)b[i]);
        if (ca != cb || ca == '\0') return ca - cb;
    }
    return 0;
}

static inline int _stricmp(const char* a, const char* b) {
    return _strnicmp(a, b, (size_t)-1);
}

static inline char* _strdup(const char* text) {
    size_t bytes;
    char* copy;
    if (text == NULL) return NULL;
    bytes = strlen(text) + 1;
    copy = (char*)malloc(bytes);
    if (copy != NULL) memcpy(copy, text, bytes);
    return copy;
}

/* 0 with *file open, or the reason with *file NULL. */
static inline errno_t fopen_s(FILE** file, const char* name, const char* mode) {
    if (file == NULL) return EINVAL;
    *file = NULL;
    if (name == NULL || mode == NULL) return EINVAL;
    errno = 0;
    *file = fopen(name, mode);
    if (*file == NULL) return errno != 0 ? errno : EINVAL;
    return 0;
}

#ifndef __cplusplus
#ifndef NOMINMAX
#ifndef max
#define max(a, b) (((a) > (b)) ? (a) : (b))
#endif
#ifndef min
#define min(a, b) (((a) < (b)) ? (a) : (b))
#endif
#endif
#endif

#ifdef __cplusplus
/* The forms that take the size from a char array. */
template <size_t N>
inline errno_t strcpy_s(char (&destination)[N], const char* source) {
    return strcpy_s(destination, N, source);
}
template <size_t N>
inline errno_t strcat_s(char (&destination)[N], const char* source) {
    return strcat_s(destination, N, source);
}
template <size_t N>
inline errno_t strncpy_s(char (&destination)[N], const char* source, size_t count) {
    return strncpy_s(destination, N, source, count);
}
template <size_t N>
inline int sprintf_s(char (&buffer)[N], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = vsprintf_s(buffer, N, format, args);
    va_end(args);
    return length;
}
#endif

#endif /* VELMOR_WIN32_WINDOWS_H */
