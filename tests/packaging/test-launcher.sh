#!/bin/bash
# Installs the program into a temporary prefix whose path has spaces and Cyrillic letters, and
# starts the installed launcher with the real program on the offscreen platform, in one
# situation after another: a first start, a start after the user changed the data, the launcher
# reached through links and by relative paths, a missing XDG_DATA_HOME, one ending in a line
# break, an empty data folder, one holding a single odd entry, one that is a link (to a folder, to
# nothing), and the folders it cannot use.
# Each time it checks which folder the program runs in (through /proc), that the launcher
# replaced itself with the program (or, in a temporary copy, waits for it and removes the copy),
# and what the data folder holds.
#
#   test-launcher.sh CMAKE BUILD_DIR DEMO_DIR LAUNCHER PROGRAM
#
# LAUNCHER and PROGRAM are where the two are installed, relative to the prefix.
set -euo pipefail

cmake=$1 build=$2 demo=$3 launcher_path=$4 program_path=$5

tmp=$(mktemp -d)
chmod 755 "$tmp" # another user has to reach into it in the read-only case
started=()
cleanup()
{
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || :
    done
    chmod -R u+rwX "$tmp" 2>/dev/null || :
    rm -rf "$tmp"
}
trap cleanup EXIT

prefix="$tmp/установка с пробелами"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
launcher="$prefix/$launcher_path"
program=$(readlink -f "$prefix/$program_path")

failures=0
fail()
{
    echo "FAIL: $*"
    failures=$((failures + 1))
}

check()
{
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        fail "$what"
    fi
}

# The program loads its audio output from beside itself at the first laugh; without it every
# laugh is silence.
check "the audio output is installed beside the program" test -f "$(dirname "$program")/libvedalka-sound.so"

# wait_until SECONDS COMMAND...: polls until the command succeeds.
wait_until()
{
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

catches_sigterm()
{
    local mask
    mask=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$1/status" 2>/dev/null)
    [ -n "$mask" ] && (( 0x$mask & (1 << (15 - 1)) ))
}
is_program() { [ "$(readlink "/proc/$1/exe" 2>/dev/null)" = "$program" ]; }
last_icon_is() { [ "$(sed -n 2p "$1/picture.dat" 2>/dev/null | tr -d '\r')" = "$2" ]; }

# find_program: sets prog to the program's process: the launcher's own, which it replaced, or
# its child when it runs the program in a temporary copy.
find_program()
{
    local child
    if is_program "$pid"; then
        prog=$pid
        return 0
    fi
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do
        if is_program "$child"; then
            prog=$child
            return 0
        fi
    done
    return 1
}

# start NAME [ENV...]: starts the launcher with a clean environment plus ENV, and waits until
# the program runs. Sets pid (the launcher's process), prog (the program's) and cwd (the
# program's working directory).
start()
{
    local name=$1
    shift
    env -i PATH="$PATH" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 "$@" \
        "$launcher" >"$tmp/$name.out" 2>"$tmp/$name.err" &
    pid=$!
    started+=("$pid")
    cwd=
    if ! wait_until 30 find_program; then
        fail "$name: the launcher did not start the program"
        cat "$tmp/$name.err"
        return 1
    fi
    cwd=$(readlink "/proc/$prog/cwd")
}

# stop: sends SIGTERM to the launcher's process, as the desktop does at logout; the program
# closes its window and ends normally, which it can only do when the signal reaches it: it is
# that process, or the launcher waiting for it passes the signal on.
stop()
{
    # The program catches SIGTERM once it is up; before that the signal would simply kill it.
    wait_until 30 catches_sigterm "$prog" || fail "the program never got ready for SIGTERM"
    kill -TERM "$pid"
    local status=0
    wait "$pid" || status=$?
    check "the program closed on SIGTERM" [ "$status" -eq 0 ]
}

same_as_demo()
{
    diff -r "$demo/картинки" "$1/картинки" >/dev/null && diff -r "$demo/Звуки" "$1/Звуки" >/dev/null \
        && cmp -s "$demo/baza.leh" "$1/baza.leh"
}

not_grep() { ! grep -q "$@"; }
no_staging_left() { ! compgen -G "$1/.vedalka-new.*" >/dev/null; }

echo "== first start: XDG_DATA_HOME with spaces and Cyrillic letters, not there yet"
home="$tmp/дом"
mkdir -p "$home"
xdg="$tmp/мои данные/share"
data="$xdg/vedalka"
if start first HOME="$home" XDG_DATA_HOME="$xdg"; then
    check "the program runs in the data folder" [ "$cwd" = "$data" ]
    check "the program started on the demo data (picture.dat names icon 13)" \
        wait_until 30 last_icon_is "$data" 13
    check "the data folder holds the demo data" same_as_demo "$data"
    check "nothing is left of the folder's making" no_staging_left "$xdg"
    check "the launcher had nothing to say" not_grep '^vedalka:' "$tmp/first.err"
    check "the launcher replaced itself with the program" [ "$prog" = "$pid" ]
    stop
fi

echo "== the user changed the data: a phrase added, the last icon removed"
printf 'my own phrase\r\n' >>"$data/baza.leh"
cp "$data/baza.leh" "$tmp/users-baza.leh"
rm "$data/картинки/13.ico"
if start changed HOME="$home" XDG_DATA_HOME="$xdg"; then
    check "the program runs in the same data folder" [ "$cwd" = "$data" ]
    check "the program sees twelve as the last icon" wait_until 30 last_icon_is "$data" 12
    check "the user's baza.leh is kept byte for byte" cmp -s "$tmp/users-baza.leh" "$data/baza.leh"
    check "the removed icon is not put back" [ ! -e "$data/картинки/13.ico" ]
    stop
fi

# The launcher finds the program and the demo data beside its own resolved path, however it is
# reached: through a link (to a link, relative), through a link to its folder, by a relative path
# or one with "..", each in the data folder of the user's changed data.
links="$tmp/ссылки"
mkdir -p "$links/bin"
ln -s "$launcher" "$links/bin/vedalka"
ln -s vedalka "$links/bin/chain"
ln -s "../../${prefix##*/}/$launcher_path" "$links/bin/relative"
ln -s "$(dirname "$launcher")" "$links/games"
real_launcher=$launcher started_in=$PWD
#       name            path of the launcher               started from
reach=(link             "$links/bin/vedalka"               "$tmp"
       link-to-link     "$links/bin/chain"                 "$tmp"
       relative-link    bin/relative                       "$links"
       folder-link      "$links/games/vedalka"             "$tmp"
       relative-path    ./vedalka                          "$(dirname "$launcher")"
       dot-dot          "$links/games/../$launcher_path"   "$tmp")
for ((i = 0; i < ${#reach[@]}; i += 3)); do
    name=${reach[i]} launcher=${reach[i + 1]}
    echo "== the launcher reached by another path: $name"
    cd "${reach[i + 2]}"
    if start "$name" HOME="$home" XDG_DATA_HOME="$xdg"; then
        check "$name: the program runs in the data folder" [ "$cwd" = "$data" ]
        check "$name: the launcher replaced itself with the program" [ "$prog" = "$pid" ]
        check "$name: the launcher had nothing to say" not_grep '^vedalka:' "$tmp/$name.err"
        stop
        check "$name: the user's baza.leh is kept byte for byte" cmp -s "$tmp/users-baza.leh" "$data/baza.leh"
    fi
done
cd "$started_in"
launcher=$real_launcher

echo "== XDG_DATA_HOME unset or relative: the folder under HOME"
for setting in unset relative; do
    other_home="$tmp/home $setting"
    mkdir -p "$other_home"
    extra=()
    [ $setting = relative ] && extra=(XDG_DATA_HOME=relative/share)
    if start "home-$setting" HOME="$other_home" "${extra[@]}"; then
        check "$setting: the program runs in ~/.local/share/vedalka" \
            [ "$cwd" = "$other_home/.local/share/vedalka" ]
        check "$setting: it is filled with the demo data" same_as_demo "$other_home/.local/share/vedalka"
        stop
    fi
done

echo "== XDG_DATA_HOME ending in a line break: the folder it names, line break and all"
nl_xdg="$tmp/nl share"$'\n'
if start newline HOME="$home" XDG_DATA_HOME="$nl_xdg"; then
    check "newline: the program runs in that folder" [ "$cwd" = "$nl_xdg/vedalka" ]
    check "newline: it is filled with the demo data" same_as_demo "$nl_xdg/vedalka"
    check "newline: no folder is made without the line break" [ ! -e "$tmp/nl share" ]
    check "newline: the launcher had nothing to say" not_grep '^vedalka:' "$tmp/newline.err"
    stop
fi

echo "== an empty data folder made by the user is filled"
empty_xdg="$tmp/empty share"
mkdir -p "$empty_xdg/vedalka"
if start empty HOME="$home" XDG_DATA_HOME="$empty_xdg"; then
    check "the program runs in it" [ "$cwd" = "$empty_xdg/vedalka" ]
    check "it is filled with the demo data" same_as_demo "$empty_xdg/vedalka"
    stop
fi

# A data folder holding one entry only, with a name the shell's patterns could pass over, is the
# user's: the program runs in it and nothing is copied in. Without a phrase base the program asks
# for phrases in message boxes, so it is ended with SIGKILL.
#       name              the entry     made as
alone=(dot-file           .hidden       file
       dots               ..hidden      file
       line-break         $'\n'         file
       dot-line-break     .$'\n'        file
       pattern            '*'           file
       dot-pattern        '.[!.]*'      file
       dots-pattern       '..?*'        file
       dangling-link      .link         link)
for ((i = 0; i < ${#alone[@]}; i += 3)); do
    name=${alone[i]} entry=${alone[i + 1]}
    echo "== a data folder holding only one entry: $name"
    alone_data="$tmp/share $name/vedalka"
    mkdir -p "$alone_data"
    if [ "${alone[i + 2]}" = link ]; then
        ln -s nowhere "$alone_data/$entry"
    else
        : >"$alone_data/$entry"
    fi
    if start "$name" HOME="$home" XDG_DATA_HOME="$tmp/share $name"; then
        check "$name: the program runs in it" [ "$cwd" = "$alone_data" ]
        check "$name: nothing of the demo data is copied in" [ ! -e "$alone_data/картинки" ]
        check "$name: the entry is kept" [ -e "$alone_data/$entry" -o -h "$alone_data/$entry" ]
        kill -KILL "$pid"
        wait "$pid" || :
    fi
done

echo "== a data folder that is a link to the user's data kept elsewhere"
elsewhere="$tmp/данные на другом диске"
cp -R "$data" "$elsewhere"
mkdir -p "$tmp/linked share"
ln -s "$elsewhere" "$tmp/linked share/vedalka"
if start linked HOME="$home" XDG_DATA_HOME="$tmp/linked share"; then
    check "linked: the program runs in the folder the link names" [ "$cwd" = "$elsewhere" ]
    check "linked: the user's baza.leh is kept byte for byte" cmp -s "$tmp/users-baza.leh" "$elsewhere/baza.leh"
    check "linked: the removed icon is not put back" [ ! -e "$elsewhere/картинки/13.ico" ]
    stop
fi

echo "== a data folder that is a link to an empty folder is filled through it"
mkdir "$tmp/пустая папка" "$tmp/linked empty share"
ln -s "$tmp/пустая папка" "$tmp/linked empty share/vedalka"
if start linked-empty HOME="$home" XDG_DATA_HOME="$tmp/linked empty share"; then
    check "linked-empty: the program runs in the folder the link names" [ "$cwd" = "$tmp/пустая папка" ]
    check "linked-empty: it is filled with the demo data" same_as_demo "$tmp/пустая папка"
    check "linked-empty: the link stays a link" [ -h "$tmp/linked empty share/vedalka" ]
    stop
fi

# fallback_checks NAME EXPECTED_BAZA: the program runs in a fresh temporary folder under the
# runtime folder, holding EXPECTED_BAZA as its phrase base, and the launcher said why.
fallback_checks()
{
    local name=$1 expected=$2
    case $cwd in
        "$runtime"/vedalka.*) echo "ok: $name: the program runs in a temporary folder" ;;
        *) fail "$name: the program runs in '$cwd', not in a temporary folder under $runtime" ;;
    esac
    check "$name: it holds the expected phrase base" cmp -s "$expected" "$cwd/baza.leh"
    check "$name: it has the icons" [ -s "$cwd/картинки/0.ico" ]
    check "$name: the program can write there" wait_until 30 last_icon_is "$cwd" 13
    check "$name: the launcher says it uses a temporary folder" grep -q 'temporary folder' "$tmp/$name.err"
    check "$name: the launcher waits for the program" [ "$prog" != "$pid" ]
}

# stop_fallback NAME: ends the program as stop does; its temporary folder goes with it.
stop_fallback()
{
    local copy=$cwd
    stop
    check "$1: the temporary folder is removed when the program ends" [ ! -e "$copy" ]
}

echo "== a file where the data folder should be"
runtime="$tmp/runtime"
mkdir -m 700 "$runtime"
file_xdg="$tmp/file share"
mkdir -p "$file_xdg"
echo "not a folder" >"$file_xdg/vedalka"
# Copies of earlier starts (marked as the launcher marks them): one whose launcher was killed,
# one a running program still uses. And folders of the user's with names like theirs: unmarked,
# marked through a link, marked by a file another user owns.
mkdir "$runtime/vedalka.killed" "$runtime/vedalka.in-use" "$runtime/vedalka.backup" \
    "$runtime/vedalka.linked" "$runtime/vedalka.foreign"
for copy in killed in-use foreign; do
    : >"$runtime/vedalka.$copy/.vedalka-launcher-copy"
done
chown 65534 "$runtime/vedalka.foreign/.vedalka-launcher-copy"
ln -s ../vedalka.killed/.vedalka-launcher-copy "$runtime/vedalka.linked/.vedalka-launcher-copy"
for copy in killed backup linked foreign; do
    echo "old $copy" >"$runtime/vedalka.$copy/vedalka.log"
done
touch -d '-1 hour' "$runtime"/vedalka.*
exec 8<"$runtime/vedalka.in-use"
flock -n 8
if start file HOME="$home" XDG_DATA_HOME="$file_xdg" XDG_RUNTIME_DIR="$runtime"; then
    fallback_checks file "$demo/baza.leh"
    check "file: the message names the problem" grep -q 'is not a folder' "$tmp/file.err"
    check "file: the file is left alone" grep -qx 'not a folder' "$file_xdg/vedalka"
    check "file: the copy a killed launcher left is removed" [ ! -e "$runtime/vedalka.killed" ]
    check "file: the copy a running program uses is kept" [ -d "$runtime/vedalka.in-use" ]
    for copy in backup linked foreign; do
        check "file: the user's folder vedalka.$copy is kept" grep -qx "old $copy" "$runtime/vedalka.$copy/vedalka.log"
    done
    stop_fallback file
fi
exec 8<&-

echo "== XDG_DATA_HOME cannot be created (a file in its path)"
echo "a file" >"$tmp/plain file"
if start uncreatable HOME="$home" XDG_DATA_HOME="$tmp/plain file/share" XDG_RUNTIME_DIR="$runtime"; then
    fallback_checks uncreatable "$demo/baza.leh"
    check "uncreatable: the message names the folder" grep -q 'cannot set up the data folder' "$tmp/uncreatable.err"
    stop_fallback uncreatable
fi

echo "== a data folder that is a link to nothing (a disk not mounted, say)"
mkdir -p "$tmp/dangling share"
ln -s "$tmp/диск не подключён" "$tmp/dangling share/vedalka"
if start dangling HOME="$home" XDG_DATA_HOME="$tmp/dangling share" XDG_RUNTIME_DIR="$runtime"; then
    fallback_checks dangling "$demo/baza.leh"
    check "dangling: the message names the problem" grep -q 'is not a folder' "$tmp/dangling.err"
    check "dangling: the link is kept, and nothing made where it points" \
        [ -h "$tmp/dangling share/vedalka" -a ! -e "$tmp/диск не подключён" ]
    stop_fallback dangling
fi

echo "== a data folder the user may read but not write"
ro_xdg="$tmp/read-only share"
ro_data="$ro_xdg/vedalka"
mkdir -p "$ro_data/картинки"
cp "$demo/картинки/"*.ico "$ro_data/картинки/"
cp "$tmp/users-baza.leh" "$ro_data/baza.leh"
# A file the user cannot read: the copy lacks it, and the launcher says so.
echo "private" >"$ro_data/заметки.txt"
chmod -R a+rX,a-w "$ro_xdg"
chmod 000 "$ro_data/заметки.txt"
runtime="$tmp/runtime-ro"
mkdir -m 700 "$runtime"
ro_home="$tmp/home-ro"
mkdir -p "$ro_home"
saved_launcher=$launcher
if [ "$(id -u)" -eq 0 ]; then
    # Permissions do not bind root, so as root this case runs as the user nobody, through a
    # wrapper that execs, so that the process is still the one that becomes the program.
    chown 65534:65534 "$runtime" "$ro_home"
    launcher="$tmp/as-nobody"
    printf '#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups "%s"\n' "$saved_launcher" >"$launcher"
    chmod 755 "$launcher"
fi
if start read-only HOME="$ro_home" XDG_DATA_HOME="$ro_xdg" XDG_RUNTIME_DIR="$runtime"; then
    fallback_checks read-only "$tmp/users-baza.leh"
    check "read-only: the message names the problem" grep -q 'no permission to read and write' "$tmp/read-only.err"
    check "read-only: the user's folder is untouched" [ ! -e "$ro_data/picture.dat" ]
    check "read-only: the failed copy is reported" grep -q 'could not copy all of' "$tmp/read-only.err"
    check "read-only: and what failed is named" grep -q 'заметки.txt' "$tmp/read-only.err"
    stop_fallback read-only
fi

# A read-only data folder whose store files are writable: the program writes them in place, so
# it runs there; with a store missing (it could not be made) it still runs in a copy. As above,
# root runs it as nobody.
#   name            store made read-only or removed
while read -r name change; do
    echo "== a read-only data folder with writable stores: $name"
    xdg="$tmp/share $name"
    data="$xdg/vedalka"
    runtime="$tmp/runtime $name"
    mkdir -p "$data/картинки"
    mkdir -m 700 "$runtime"
    cp "$demo/картинки/"*.ico "$data/картинки/"
    cp "$tmp/users-baza.leh" "$data/baza.leh"
    printf 'номер последней картинки\r\n13\r\n' | iconv -f UTF-8 -t CP1251 >"$data/picture.dat"
    printf 'Masha - old answer\r\n' >"$data/vedalka.log"
    case $change in
        -) ;;
        *) rm "$data/$change" ;;
    esac
    cp -R "$data" "$tmp/$name.before"
    [ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$xdg" "$runtime"
    chmod a-w "$data"
    if start "$name" HOME="$ro_home" XDG_DATA_HOME="$xdg" XDG_RUNTIME_DIR="$runtime"; then
        if [ "$change" = - ]; then
            check "$name: the program runs in the data folder" [ "$cwd" = "$data" ]
            check "$name: the launcher had nothing to say" not_grep '^vedalka:' "$tmp/$name.err"
            stop
        else
            check "$name: the program runs in a temporary copy" [ "$cwd" != "$data" ]
            check "$name: the launcher says why" grep -q 'no permission to read and write' "$tmp/$name.err"
            stop_fallback "$name"
        fi
        check "$name: the user's files are kept byte for byte" diff -r "$tmp/$name.before" "$data"
    fi
done <<'ROWS'
writable-stores -
no-log          vedalka.log
no-picture-dat  picture.dat
ROWS

# A data folder the user may not read or not search is left alone, and the program runs in a copy
# of the demo data. One that can be read but not searched is still listed (by find): with the
# user's data in it, it lacks permissions; empty, it cannot be filled. As above, root runs it as
# nobody.
#   name                 taken away  holds      the launcher says
while read -r name perm holds says; do
    echo "== a data folder the user may not search or read: $name"
    xdg="$tmp/share $name"
    data="$xdg/vedalka"
    runtime="$tmp/runtime $name"
    mkdir -p "$data"
    mkdir -m 700 "$runtime"
    [ "$holds" = - ] || cp "$tmp/users-baza.leh" "$data/$holds"
    [ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$xdg" "$runtime"
    chmod "a-$perm" "$data"
    if start "$name" HOME="$ro_home" XDG_DATA_HOME="$xdg" XDG_RUNTIME_DIR="$runtime"; then
        fallback_checks "$name" "$demo/baza.leh"
        check "$name: the launcher says why" grep -q "$says" "$tmp/$name.err"
        stop_fallback "$name"
    fi
    chmod "u+$perm" "$data"
    if [ "$holds" = - ]; then
        check "$name: the folder stays empty" [ -z "$(ls -A "$data")" ]
    else
        check "$name: the user's baza.leh is kept byte for byte" cmp -s "$tmp/users-baza.leh" "$data/$holds"
    fi
done <<'ROWS'
unsearchable        x           baza.leh   no permission to read and write
unsearchable-empty  x           -          cannot set up the data folder
unreadable          r           baza.leh   no permission to read and write
unreadable-empty    r           -          no permission to read and write
ROWS
launcher=$saved_launcher

echo "== the program itself is missing"
broken="$tmp/broken"
cp -R "$prefix" "$broken"
rm "$broken/$program_path"
status=0
env -i PATH="$PATH" HOME="$home" XDG_DATA_HOME="$tmp/broken share" "$broken/$launcher_path" \
    2>"$tmp/broken.err" || status=$?
check "missing program: exit status 127" [ $status -eq 127 ]
check "missing program: the message says to reinstall" grep -q 'reinstall' "$tmp/broken.err"
check "missing program: no data folder is made" [ ! -e "$tmp/broken share" ]

echo "== no display the program could reach"
status=0
env -i PATH="$PATH" HOME="$home" XDG_DATA_HOME="$tmp/no display" "$launcher" 2>"$tmp/display.err" >/dev/null || status=$?
check "no display: exit status 1" [ $status -eq 1 ]
check "no display: the message says why" grep -q 'no display to show the window on' "$tmp/display.err"
check "no display: no data folder is made" [ ! -e "$tmp/no display" ]

if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PASS: every launcher check"
