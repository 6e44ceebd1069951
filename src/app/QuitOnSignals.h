#pragma once

// Turns SIGTERM and SIGINT into an orderly QCoreApplication::quit(), so the quit path
// (which stops the bridge the app started) runs as it does for the Quit command.
namespace QuitOnSignals {
void install();
}
