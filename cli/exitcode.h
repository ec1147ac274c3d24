#pragma once

// kovctl's exit statuses, the same for every command.
namespace ExitCode {
constexpr int Ok = 0;
// A device failed or did not answer (ir decode: the code was not recognised).
constexpr int Failed = 1;
// Bad input or an unusable port; nothing was sent.
constexpr int BadInput = 2;
}
