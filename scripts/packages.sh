# Sourced by the run and test scripts: makes sure Debian's packages for building and running the
# tool are installed (apt-get when root; otherwise prints the exact command and stops).

veltora_packages=(
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5network5
    libftdi-dev libmicrohttpd-dev libsqlite3-dev libpq-dev libssl-dev libsodium-dev nlohmann-json3-dev postgresql python3
    fonts-dejavu-core
    # The interface fonts of the usual desktops, which the window's texts are tested at.
    fonts-noto-core fonts-liberation2
)

ensure_packages() {
    local missing=()
    local package
    for package in "${veltora_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Missing packages. Run:"
        echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}"
        exit 1
    fi
}
