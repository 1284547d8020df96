#pragma once
// The program's icon, from the resources built into the window library.

#include <QIcon>

QIcon AppIcon();
