#include "ui/AppIcon.h"

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 128})
        icon.addFile(QStringLiteral(":/quillmark/icons/quillmark-%1.png").arg(size),
                     QSize(size, size));
    return icon;
}
