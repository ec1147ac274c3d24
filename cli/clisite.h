#pragma once

#include <QString>

class SiteFile;

// The site kovctl was given (--site FILE before the command, or KOV_SITE),
// kept for the command that runs.
namespace CliSite {
void setPath(const QString &path); // main() only
QString path();                    // "" when no site was named
// Opens the named site: false with *error when none was named ("name a
// site with --site FILE or KOV_SITE") or it cannot be read (the SiteJson
// error).
bool open(SiteFile *file, QString *error);

// --last-address before the command: a site device that does not answer
// the discovery round is reached at the address it was last heard from.
void setUseLastAddress(bool use); // main() only
bool useLastAddress();
}
