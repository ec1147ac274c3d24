#pragma once

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>

#include "programicon.h"

// The name, version, organization and icon the program runs under
// (settings paths, --version, window titles, the icon of every window).
// Set before the window is built, by the program's entry and by the tests
// that build the window.
inline void setProgramIdentity()
{
    QCoreApplication::setApplicationName("KOV-Tool");
    QCoreApplication::setApplicationVersion("1.0");
    QCoreApplication::setOrganizationDomain("Veltrane, LLC");
    QCoreApplication::setOrganizationName("Veltrane");
    // Every window, the About box included, shows the tool's icon; the
    // desktop entry's name lets a Wayland compositor match the windows to
    // the menu entry and its icon.
    QGuiApplication::setWindowIcon(programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("com.veltrane.KovTool"));
}
