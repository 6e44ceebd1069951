#pragma once

// `tallyrig init|start|stop|doctor|mcp|--help|--version` runs the bundled bridge with the bundled
// runtime instead of the app, so that the one installed command serves the terminal too.
namespace BridgeCommand {

// True when the arguments name a bridge command.
bool isBridgeCommand(int argc, char* argv[]);

// Replaces this process with the bundled runtime running the bridge; returns only on failure,
// with the exit status, after saying why on standard error. Runs before any Qt application exists.
int exec(int argc, char* argv[]);

} // namespace BridgeCommand
