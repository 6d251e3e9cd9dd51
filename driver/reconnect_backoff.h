#pragma once

// Seconds to wait before reconnect attempt number attempt (0, 1, 2 ...) to a
// lost stream or camera: 1, 2, 4, 8, 16, then 30 for as long as it takes.
inline int reconnect_delay_s(int attempt)
{
    return attempt >= 5 ? 30 : (1 << (attempt < 0 ? 0 : attempt));
}
