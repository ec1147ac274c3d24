#pragma once

class QIcon;

// The KOV-1 Tool's icon in every size drawn for it (16 to 256 pixels),
// from the resources built into the program.
QIcon programIcon();
