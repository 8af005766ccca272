# The units "Vemo_Brennicot -install" registered for the packaged program, with or without
# "-settings FILE", by name (an alias is a link to one of them, and is left out).
registered_units() {
    for unit in /etc/systemd/system/*.service; do
        [ -f "$unit" ] && [ ! -L "$unit" ] || continue
        case "$(sed -n 's|^ExecStart=||p' "$unit")" in
            "@BRENNICOT_PACKAGED_PROGRAM@" | "@BRENNICOT_PACKAGED_PROGRAM@ -settings "*) basename "$unit" ;;
        esac
    done
    return 0
}

# The settings file a registered unit starts the program with; nothing for the one beside it.
# The unit quotes a path with blanks and doubles its "%" and "$".
unit_settings() {
    sed -n 's|^ExecStart=@BRENNICOT_PACKAGED_PROGRAM@ -settings ||p' "/etc/systemd/system/$1" |
        sed -e 's|^"\(.*\)"$|\1|' -e 's|%%|%|g' -e 's|\$\$|$|g'
}

# Every instance of the template unit that systemd has loaded (running, failed, waiting to
# restart): systemctl matches the pattern against loaded units only.
INSTANCES='@BRENNICOT_PACKAGE@@*.service'
