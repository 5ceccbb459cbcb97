#pragma once
// The log calls of the whole program: spdlog's default logger, taking the
// program's wide text directly. A std::wstring, std::wstring_view or
// wchar_t string argument is written as UTF-8 (ToUtf8); every other argument
// goes to fmt unchanged. Wide text is converted only when the line's level is
// logged. The format strings are the lines of core/LogText.h; they are checked
// against the arguments (after the wide ones became UTF-8) when compiling.
// Display-free.

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <spdlog/spdlog.h>

#include "core/TextUtil.h"

namespace logfront {

// Wide text: a std::wstring, a std::wstring_view, a wchar_t string.
template <typename T>
constexpr bool IsWide()
{
    using D = std::decay_t<T>;
    return std::disjunction_v<std::is_same<D, std::wstring>, std::is_same<D, std::wstring_view>,
                              std::is_same<D, const wchar_t*>, std::is_same<D, wchar_t*>>;
}

// The type fmt is given for an argument of type T (as a forwarding reference
// deduces it): UTF-8 text for wide text, T itself otherwise.
template <typename T>
using Mapped = std::conditional_t<IsWide<T>(), std::string, T>;

template <typename T>
decltype(auto) Pass(T&& arg)
{
    if constexpr (!IsWide<T>()) {
        return std::forward<T>(arg);
    } else if constexpr (std::is_same_v<std::decay_t<T>, std::wstring>) {
        return ToUtf8(arg);
    } else if constexpr (std::is_pointer_v<std::remove_reference_t<T>>) {
        return arg ? ToUtf8(std::wstring(arg)) : std::string();
    } else {
        return ToUtf8(std::wstring(arg)); // a view or an array
    }
}

} // namespace logfront

// One line at the given level.
template <typename... Args>
void Log(spdlog::level::level_enum level, fmt::format_string<logfront::Mapped<Args>...> text, Args&&... args)
{
    spdlog::logger* pLogger = spdlog::default_logger_raw();
    if (!pLogger->should_log(level))
        return;
    if constexpr (sizeof...(Args) == 0)
        pLogger->log(level, fmt::string_view(text));
    else
        pLogger->log(level, text, logfront::Pass(std::forward<Args>(args))...);
}

template <typename... Args>
void LogDebug(fmt::format_string<logfront::Mapped<Args>...> text, Args&&... args)
{
    Log(spdlog::level::debug, text, std::forward<Args>(args)...);
}

template <typename... Args>
void LogInfo(fmt::format_string<logfront::Mapped<Args>...> text, Args&&... args)
{
    Log(spdlog::level::info, text, std::forward<Args>(args)...);
}

template <typename... Args>
void LogWarn(fmt::format_string<logfront::Mapped<Args>...> text, Args&&... args)
{
    Log(spdlog::level::warn, text, std::forward<Args>(args)...);
}

template <typename... Args>
void LogError(fmt::format_string<logfront::Mapped<Args>...> text, Args&&... args)
{
    Log(spdlog::level::err, text, std::forward<Args>(args)...);
}
