// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

// What the user's sway config binds to Escape alone, mode by mode: the IPC lists no bindings,
// and hands out the text of the main config file only, so the files it includes are read from
// the disk as sway found them (relative to the file that includes them, with the config's own
// variables and the shell's words).
struct SwayEscapeBindings
{
    QHash<QString, QString> commands; // mode -> the command Escape runs there
    QString unknown; // why some included file could not be read, or empty
};

SwayEscapeBindings swayEscapeBindings(const QString &mainConfig, const QString &mainPath);
