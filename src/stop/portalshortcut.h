// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusArgument>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// One shortcut as the GlobalShortcuts portal's BindShortcuts takes it and its answer gives it:
// (s id, a{sv} options). Register it (and its list) with qDBusRegisterMetaType before use.
struct PortalShortcut
{
    QString id;
    QVariantMap options;
};

inline QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

Q_DECLARE_METATYPE(PortalShortcut)
