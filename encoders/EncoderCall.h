#pragma once

// The maker's libraries use the Windows standard calling convention; on Linux the
// platform's own convention stands in for it.
#if defined(_WIN32)
#define ENCODER_CALL __stdcall
#else
#define ENCODER_CALL
#endif
