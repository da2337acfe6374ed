// The C host compiled as C++: the C interface needs nothing of the compiler that built the
// library, so any C++ compiler's host uses it through QuillonC.h alone.
#include "CHost.c"
