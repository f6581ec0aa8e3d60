# Shared by ./play and ./test: install what a fresh Debian machine lacks,
# then configure and build into a build folder.  Sourced, not run.

MORVANEL_PACKAGES=(g++ cmake ninja-build pkg-config libsdl2-dev zlib1g-dev libpng-dev
                   libjpeg62-turbo-dev libfreetype-dev libgtest-dev libbenchmark-dev fonts-dejavu-core
                   xvfb xdotool x11-apps)

morvanel_install_packages() {
    local missing=()
    local p
    for p in "${MORVANEL_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
            echo "Missing packages (${missing[*]}) and no way to install them as $(id -un)." >&2
            return 1
        fi
    fi
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# morvanel_build <build folder> [extra cmake arguments...]
morvanel_build() {
    local dir="$1"
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -- -j"$(nproc)"
}
