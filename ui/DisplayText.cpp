#include "ui/DisplayText.h"

#include <QByteArrayView>

QString DisplayText(std::string_view utf8, LineBreaks lineBreaks) {
    QString text =
        QString::fromUtf8(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' && lineBreaks == LineBreaks::Keep)
            continue;
        if (u < 0x20)
            c = QChar(static_cast<char16_t>(0x2400 + u));
        else if (u == 0x7F)
            c = QChar(u'\u2421');
    }
    return text;
}
