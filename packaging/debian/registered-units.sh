# The units "Vemo_Brennicot -install" registered for the packaged program, by name (an alias is a
# link to one of them, and is left out).
registered_units() {
    for unit in /etc/systemd/system/*.service; do
        [ -f "$unit" ] && [ ! -L "$unit" ] || continue
        grep -qxF "ExecStart=@BRENNICOT_PACKAGED_PROGRAM@" "$unit" && basename "$unit"
    done
    return 0
}

# Every instance of the template unit that systemd has loaded (running, failed, waiting to
# restart): systemctl matches the pattern against loaded units only.
INSTANCES='@BRENNICOT_PACKAGE@@*.service'
