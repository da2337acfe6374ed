#pragma once

// Early return of a failed HRESULT: the error style of every function that returns one.
#define RETURN_IF_FAILED(expr)                                                                                         \
    do {                                                                                                               \
        const HRESULT hrReturnIfFailed = (expr);                                                                       \
        if (FAILED(hrReturnIfFailed))                                                                                  \
            return hrReturnIfFailed;                                                                                   \
    } while (0)
