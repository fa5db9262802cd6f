#pragma once
/// The fixed texts the conversion shows (UTF-8). The loader and the folder tree have their own.

#include <string_view>

namespace ar4::messages {

inline constexpr std::string_view kErrors = "Ошибки";
inline constexpr std::string_view kSortQuestion = "Сортировать по дате?";
inline constexpr std::string_view kOverlapCount = "Количество перекрытий по времени : ";
inline constexpr std::string_view kBrowsePrompt = "Выберете каталог TrendoraStudio";
inline constexpr std::string_view kLaunchFailed = " Ошибка запуска TrendoraStudio";

}  // namespace ar4::messages
