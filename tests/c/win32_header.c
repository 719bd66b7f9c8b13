/* Checks examples/include/win32/windows.h as a library written for Windows uses it: the types'
 * Windows sizes, the number conversions, and the bounded string functions at and past their
 * limits (they empty the destination and answer an error, never end the program). Compiled as C
 * here and as C++ by win32_header_cxx.cpp. Exits non-zero and names every check that failed. */

/* A source's own min stays its own (in C: the C++ library's headers remove such macros). */
#ifndef __cplusplus
#define min(a, b) 1000
#endif

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int failures = 0;

static void Check(int ok, const char* what, int line) {
    if (!ok) {
        fprintf(stderr, "line %d: %s\n", line, what);
        ++failures;
    }
}
#define CHECK(condition) Check((condition) ? 1 : 0, #condition, __LINE__)
#define SAME(a, b) Check(strcmp((a), (b)) == 0, #a " is \"" #b "\"", __LINE__)

/* A buffer of 8 characters followed by a byte nothing may write. */
struct Guarded {
    char text[8];
    char guard;
};

static void Reset(struct Guarded* buffer) {
    memset(buffer->text, 'x', sizeof buffer->text);
    buffer->guard = '#';
}

static void CheckTypes(void) {
    CHECK(sizeof(DWORD) == 4 && (DWORD)-1 > 0);
    CHECK(sizeof(ULONG) == 4 && (ULONG)-1 > 0);
    CHECK(sizeof(UINT) == 4 && (UINT)-1 > 0);
    CHECK(sizeof(LONG) == 4 && (LONG)-1 < 0);
    CHECK(sizeof(INT) == 4 && (INT)-1 < 0);
    CHECK(sizeof(BOOL) == sizeof(int) && TRUE == 1 && FALSE == 0);
    CHECK(sizeof(WORD) == 2 && sizeof(BYTE) == 1 && sizeof(unsigned __int64) == 8);
    CHECK(sizeof(HANDLE) == 8 && sizeof(HINSTANCE) == 8 && sizeof(HMODULE) == 8);
    CHECK(sizeof(LPVOID) == 8 && sizeof(UINT_PTR) == 8 && sizeof(LONG_PTR) == 8);
    CHECK(DLL_PROCESS_DETACH == 0 && DLL_PROCESS_ATTACH == 1);
    CHECK(DLL_THREAD_ATTACH == 2 && DLL_THREAD_DETACH == 3);
    CHECK(MB_OK == 0 && MB_YESNO == 4 && MB_ICONERROR == 0x10 && IDOK == 1 && IDCANCEL == 2);
#ifndef __cplusplus
    CHECK(min(1, 2) == 1000);
    CHECK(max(2, 3) == 3);
#elif defined(max) || defined(min)
    CHECK(!"max or min is a macro in C++");
#endif
#ifdef _WIN32
    CHECK(!"_WIN32 is defined");
#endif
}

static void CheckNumbersToText(void) {
    char text[72];
    SAME(_itoa(255, text, 16), "ff");
    SAME(_itoa(-5, text, 10), "-5");
    SAME(_itoa(-1, text, 16), "ffffffff"); /* unsigned in any other radix */
    SAME(_itoa(-2147483647 - 1, text, 10), "-2147483648");
    SAME(_itoa(5, text, 2), "101");
    SAME(_itoa(35, text, 36), "z");
    SAME(_itoa(5, text, 37), "");
    SAME(_ltoa(-1L, text, 16), "ffffffff"); /* a Windows long has 32 bits */
    SAME(_ltoa(-123456789L, text, 10), "-123456789");
    SAME(_ultoa(4294967295UL, text, 10), "4294967295");
}

static void CheckSnprintf(void) {
    struct Guarded b;
    Reset(&b);
    CHECK(_snprintf(b.text, sizeof b.text, "%d", 1234) == 4);
    SAME(b.text, "1234");
    /* Exactly as long as the count: no terminator. */
    Reset(&b);
    CHECK(_snprintf(b.text, sizeof b.text, "%s", "abcdefgh") == 8);
    CHECK(memcmp(b.text, "abcdefgh", 8) == 0 && b.guard == '#');
    /* Longer: cut, no terminator, -1. */
    Reset(&b);
    CHECK(_snprintf(b.text, sizeof b.text, "%s-%d", "abcdefgh", 42) == -1);
    CHECK(memcmp(b.text, "abcdefgh", 8) == 0 && b.guard == '#');
    CHECK(_snprintf(NULL, 0, "%d", 123456) == 6);

    Reset(&b);
    CHECK(sprintf_s(b.text, sizeof b.text, "%s", "1234567") == 7);
    SAME(b.text, "1234567");
    errno = 0;
    CHECK(sprintf_s(b.text, sizeof b.text, "%s", "12345678") == -1);
    CHECK(b.text[0] == '\0' && b.guard == '#' && errno == ERANGE);
}

static void CheckCopies(void) {
    struct Guarded b;
    char unterminated[4] = {'a', 'b', 'c', 'd'};

    Reset(&b);
    CHECK(strcpy_s(b.text, sizeof b.text, "1234567") == 0);
    SAME(b.text, "1234567");
    CHECK(strcpy_s(b.text, sizeof b.text, "12345678") == ERANGE);
    CHECK(b.text[0] == '\0' && b.guard == '#');
    strcpy_s(b.text, sizeof b.text, "abc");
    CHECK(strcpy_s(b.text, sizeof b.text, NULL) == EINVAL && b.text[0] == '\0');
    b.text[0] = 'k';
    CHECK(strcpy_s(b.text, 0, "abc") == EINVAL && b.text[0] == 'k');
    CHECK(strcpy_s(NULL, 8, "abc") == EINVAL);

    Reset(&b);
    strcpy_s(b.text, sizeof b.text, "abc");
    CHECK(strcat_s(b.text, sizeof b.text, "defg") == 0);
    SAME(b.text, "abcdefg");
    CHECK(strcat_s(b.text, sizeof b.text, "h") == ERANGE);
    CHECK(b.text[0] == '\0' && b.guard == '#');
    Reset(&b); /* no terminator in the destination */
    CHECK(strcat_s(b.text, sizeof b.text, "a") == EINVAL && b.text[0] == '\0' && b.guard == '#');

    Reset(&b);
    CHECK(strncpy_s(b.text, sizeof b.text, "abcdefghij", 3) == 0);
    SAME(b.text, "abc");
    CHECK(strncpy_s(b.text, sizeof b.text, unterminated, 4) == 0); /* reads only count bytes */
    SAME(b.text, "abcd");
    CHECK(strncpy_s(b.text, sizeof b.text, "abcdefghij", 9) == ERANGE);
    CHECK(b.text[0] == '\0' && b.guard == '#');
    CHECK(strncpy_s(b.text, sizeof b.text, "abcdefghij", 8) == ERANGE);
    CHECK(strncpy_s(b.text, sizeof b.text, "abcdefghij", _TRUNCATE) == STRUNCATE);
    CHECK(strcmp(b.text, "abcdefg") == 0 && b.guard == '#');
    CHECK(strncpy_s(b.text, sizeof b.text, "abc", _TRUNCATE) == 0);
    SAME(b.text, "abc");
    CHECK(strncpy_s(b.text, sizeof b.text, NULL, 0) == 0 && b.text[0] == '\0');
}

static void CheckOthers(const char* self) {
    FILE* file = (FILE*)&failures;
    char* copy = _strdup("Lens");
    double self4[4];
    UNREFERENCED_PARAMETER(self4);
    CHECK(_stricmp("N-BK7", "n-bk7") == 0 && _stricmp("a", "B") < 0 && _stricmp("b", "A") > 0);
    CHECK(_stricmp("ab", "abc") < 0 && _strnicmp("ABCx", "abcy", 3) == 0);
    CHECK(copy != NULL && strcmp(copy, "Lens") == 0);
    free(copy);
    CHECK(_strdup(NULL) == NULL);

    CHECK(fopen_s(&file, "/nonexistent-velmor-directory/file", "r") == ENOENT && file == NULL);
    CHECK(fopen_s(&file, self, "rb") == 0 && file != NULL);
    if (file != NULL) fclose(file);
    CHECK(fopen_s(NULL, self, "rb") == EINVAL);

    CHECK(MessageBoxA(NULL, "written to standard error", "win32_header", MB_YESNO) == IDOK);
    CHECK(MessageBox(NULL, "no caption", NULL, MB_OK | MB_ICONERROR) == IDOK);
    CHECK(_countof(self4) == 4);
}

#ifdef __cplusplus
/* The forms that take the size from the array. */
static void CheckArrayForms(void) {
    char text[4];
    CHECK(strcpy_s(text, "abc") == 0 && strcmp(text, "abc") == 0);
    CHECK(strcpy_s(text, "abcd") == ERANGE && text[0] == '\0');
    CHECK(sprintf_s(text, "%d", 123) == 3 && strcmp(text, "123") == 0);
    CHECK(sprintf_s(text, "%d", 1234) == -1 && text[0] == '\0');
    strcpy_s(text, "a");
    CHECK(strcat_s(text, "bc") == 0 && strcmp(text, "abc") == 0);
    CHECK(strncpy_s(text, "abcdef", _TRUNCATE) == STRUNCATE && strcmp(text, "abc") == 0);
}
#endif

int main(int argc, char** argv) {
    UNREFERENCED_PARAMETER(argc);
    CheckTypes();
    CheckNumbersToText();
    CheckSnprintf();
    CheckCopies();
    CheckOthers(argv[0]);
#ifdef __cplusplus
    CheckArrayForms();
#endif
    if (failures) fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}
