#pragma once
// UTF-8 text from the core, the gateway or the files, made safe to show:
// bytes that do not decode become U+FFFD, and control characters become their
// visible pictures (U+2400 ...) instead of vanishing or breaking a line.

#include <QString>

#include <string_view>

enum class LineBreaks { Show, Keep };

QString DisplayText(std::string_view utf8, LineBreaks lineBreaks = LineBreaks::Show);
