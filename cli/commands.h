#pragma once

#include <QStringList>

// One function per kovctl command. Each takes the command line from the
// command's name on (its first element stands for the program) and
// returns the exit status (exitcode.h).
int discoverCommand(const QStringList &arguments);
int relayCommand(const QStringList &arguments);
int rebootCommand(const QStringList &arguments);
int irSendCommand(const QStringList &arguments);
int irGenCommand(const QStringList &arguments);
int irDecodeCommand(const QStringList &arguments);
int irImportCommand(const QStringList &arguments);
int irListCommand(const QStringList &arguments);
int upgradeCommand(const QStringList &arguments);
int siteInitCommand(const QStringList &arguments);
int siteImportCommand(const QStringList &arguments);
int siteSetCommand(const QStringList &arguments);
int siteListCommand(const QStringList &arguments);
int siteCheckCommand(const QStringList &arguments);

// The output formats of discover and upgrade, for their --help and the
// program's.
QString discoverFormats();
QString upgradeFormats();
QString siteFormats();
