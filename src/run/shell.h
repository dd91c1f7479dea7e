#pragma once
// The interactive shell, which the driver runs when the command line is empty.

namespace kel {

class Host;
struct Context;

// Runs the shell in the top-level [context] until "exit", the end of input
// or a close: the banner ([printBanner]), autoload.kel and autoexec.kel, then
// one command line after another. Returns 0.
int RunShell(Context& context, void (*printBanner)(Host& host));

}  // namespace kel
