#!/usr/bin/env bash
# What a Mac build needs beyond Homebrew's formulae (scripts/setup.sh runs this): QCoro, Node.js's own
# build for the bundle, and a code signing identity of this Mac's own. Each is made once; says
# nothing when everything is already there.
set -euo pipefail

# QCoro: Homebrew's when it has one, else built from its source into Homebrew's prefix, where CMake
# finds it as it finds Qt.
prefix=$(brew --prefix)
qcoro="$prefix/lib/cmake/QCoro6Core/QCoro6CoreConfig.cmake"
if [[ ! -f "$qcoro" ]]; then
    if brew info qcoro >/dev/null 2>&1; then
        brew install qcoro
    else
        echo "Building QCoro…"
        source=$(mktemp -d)
        git clone --quiet --depth 1 --branch v0.12.0 https://github.com/qcoro/qcoro.git "$source"
        cmake -S "$source" -B "$source/build" -DUSE_QT_VERSION=6 -DBUILD_TESTING=OFF \
            -DQCORO_BUILD_EXAMPLES=OFF -DQCORO_WITH_QTDBUS=OFF -DQCORO_WITH_QML=OFF -DQCORO_WITH_QTQUICK=OFF \
            -DQCORO_WITH_QTWEBSOCKETS=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
        cmake --build "$source/build" -j "$(sysctl -n hw.ncpu)" >/dev/null
        cmake --install "$source/build" >/dev/null
        rm -rf "$source"
    fi
    [[ -f "$qcoro" ]] || { echo "QCoro is not in $prefix after its build" >&2; exit 1; }
fi

# The bundle's runtime: Node.js's own build, which needs no library beyond the system's. Homebrew's
# node needs Homebrew's libraries, which the Macs the bundle is copied to may not have.
runtime="$HOME/Library/Caches/Tallyrig/node"
if [[ ! -x "$runtime/bin/node" ]]; then
    arch=$(uname -m)
    [[ "$arch" == "x86_64" ]] && arch=x64
    dist=https://nodejs.org/dist/latest-v22.x
    line=$(curl -fsSL "$dist/SHASUMS256.txt" | grep -E "  node-v[0-9.]+-darwin-$arch\.tar\.gz$")
    file=${line##* }
    echo "Fetching $file…"
    download=$(mktemp -d)
    curl -fsSL -o "$download/$file" "$dist/$file"
    (cd "$download" && echo "$line" | shasum -a 256 -c - >/dev/null)
    tar -xzf "$download/$file" -C "$download"
    mkdir -p "$(dirname "$runtime")"
    rm -rf "$runtime"
    mv "$download/${file%.tar.gz}" "$runtime"
    rm -rf "$download"
fi

# A code signing identity of this Mac's own: macOS keeps the accessibility permission with the
# signature's identity, and an ad hoc signature changes with every build. It lives in a keychain of
# its own without a password, so that builds sign without asking; it signs nothing that leaves
# this Mac. scripts/mac-sign.sh uses it.
keychain="$HOME/Library/Keychains/tallyrig-signing.keychain-db"
identity="Tallyrig Local Signing"
if [[ ! -f "$keychain" ]]; then
    echo "Creating the code signing identity \"$identity\"…"
    made=$(mktemp -d)
    # The system's LibreSSL: its PKCS #12 files are ones the keychain can read.
    /usr/bin/openssl req -x509 -newkey rsa:2048 -sha256 -days 3650 -nodes -subj "/CN=$identity" \
        -addext "basicConstraints=critical,CA:false" -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=critical,codeSigning" \
        -keyout "$made/key.pem" -out "$made/certificate.pem" 2>/dev/null
    /usr/bin/openssl pkcs12 -export -inkey "$made/key.pem" -in "$made/certificate.pem" \
        -out "$made/identity.p12" -passout pass:tallyrig
    security create-keychain -p "" "$keychain"
    # Never locked by a timeout; scripts/mac-sign.sh unlocks it after a restart.
    security set-keychain-settings "$keychain"
    security unlock-keychain -p "" "$keychain"
    security import "$made/identity.p12" -k "$keychain" -P tallyrig -T /usr/bin/codesign >/dev/null
    security set-key-partition-list -S apple-tool:,apple:,codesign: -s -k "" "$keychain" >/dev/null
    # codesign looks for identities in the keychains of the search list.
    security list-keychains -d user | xargs security list-keychains -d user -s "$keychain"
    rm -rf "$made"
fi
