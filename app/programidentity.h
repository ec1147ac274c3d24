#pragma once

#include <QCoreApplication>

// The name, version and organization the program runs under (settings
// paths, --version, window titles). Set before the window is built, by the
// program's entry and by the tests that build the window.
inline void setProgramIdentity()
{
    QCoreApplication::setApplicationName("KOV-Tool");
    QCoreApplication::setApplicationVersion("1.0");
    QCoreApplication::setOrganizationDomain("Veltrane, LLC");
    QCoreApplication::setOrganizationName("Veltrane");
}
