#!/usr/bin/env bash
# Signs a bundle with this Mac's own identity (scripts/setup-mac.sh makes it), so that the
# accessibility permission granted to one build holds for the next.
set -euo pipefail
bundle=$1
keychain="$HOME/Library/Keychains/tallyrig-signing.keychain-db"
identity="Tallyrig Local Signing"
if [[ ! -f "$keychain" ]]; then
    echo "No signing identity \"$identity\": run scripts/setup.sh" >&2
    exit 1
fi
security unlock-keychain -p "" "$keychain"
# By its certificate's hash: the name alone might also match a copy in another keychain.
hash=$(security find-certificate -c "$identity" -Z "$keychain" | awk '/^SHA-1 hash:/ { print $3 }')
codesign --force --deep --keychain "$keychain" --sign "$hash" "$bundle"
