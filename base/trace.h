// The trace: on request, every browser event the program hears, every decision with what it
// went by, and every failed call with its place. Off by default, when it costs one test of a
// flag; portable, so that the rules can say why without knowing where the lines go.
#pragma once

#include <sstream>
#include <string>
#include <string_view>

namespace quellix::trace {

// Where the lines go while tracing.
using Sink = void (*)(std::string_view line);

namespace detail {
inline Sink g_sink = nullptr;
}  // namespace detail

#ifdef QUELLIX_NO_TRACE
// Built without the trace, to measure what the flag costs.
constexpr bool On()
{
    return false;
}
#else
inline bool On()
{
    return detail::g_sink != nullptr;
}
#endif
// Tracing starts with a sink and stops without one.
inline void SetSink(Sink sink)
{
    detail::g_sink = sink;
}

template <typename... Parts>
void Write(const Parts&... parts)
{
    if (!On())
        return;
    std::ostringstream line;
    (line << ... << parts);
    detail::g_sink(line.str());
}

}  // namespace quellix::trace

// Formats nothing, and evaluates none of its arguments, unless tracing is on.
#define QUELLIX_TRACE(...)                                                                                             \
    do {                                                                                                               \
        if (::quellix::trace::On())                                                                                    \
            ::quellix::trace::Write(__VA_ARGS__);                                                                      \
    } while (0)

// Calls `call` (a function that traces) only while tracing is on.
#define QUELLIX_TRACE_CALL(call)                                                                                       \
    do {                                                                                                               \
        if (::quellix::trace::On())                                                                                    \
            call;                                                                                                      \
    } while (0)
