#pragma once

// printf-style diagnostic line. Every output sink is off in the delivered libraries, so a
// call tests its settings and returns without formatting anything.
void Trace(const char* pszFormat, ...);
