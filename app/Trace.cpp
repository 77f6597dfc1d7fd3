#include "app/Trace.h"
#include <stdarg.h>
#include <stdio.h>
#include <vector>

void Trace(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = _vscprintf(fmt, ap);
    va_end(ap);
    if (n > 0) {
        std::vector<char> buf(n + 1);
        _vsnprintf(buf.data(), buf.size(), fmt, ap2);
        fwrite(buf.data(), 1, n, stdout);
    }
    va_end(ap2);
}
