# Leaves out of the carried npm modules what only their authors use: their dot-files (npm's links to
# their commands, lint, test and publish settings) and the SDK's examples, scripts nothing imports.
# npm's own record of what it installed stays: it tells the build when the modules changed.
# Argument: -Dmodules=<folder>.
file(GLOB_RECURSE paths LIST_DIRECTORIES true RELATIVE "${modules}" "${modules}/*")
list(FILTER paths INCLUDE REGEX "(^|/)\\.[^/]*$")
list(REMOVE_ITEM paths ".package-lock.json")
list(TRANSFORM paths PREPEND "${modules}/")
file(REMOVE_RECURSE ${paths} "${modules}/@modelcontextprotocol/sdk/dist/cjs/examples"
    "${modules}/@modelcontextprotocol/sdk/dist/esm/examples")
