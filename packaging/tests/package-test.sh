#!/bin/sh
# Builds the Debian package, unpacks it into a scratch root as dpkg would
# install it, and checks what a user gets: the files, the dependencies, and the
# installed program starting offscreen.
#
#   package-test.sh build    SCRATCH CPACK CPACK-CONFIG
#   package-test.sh contents SCRATCH VERSION APP-ID
#   package-test.sh starts   SCRATCH
#   package-test.sh no-list  SCRATCH
#   package-test.sh bookmarks SCRATCH
set -u

mode=$1
scratch=$2
root=$scratch/root

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Seconds the program must stay up to count as started and running.
run_seconds=5

run_installed() {
    # The program takes no arguments and ends only when its last window closes,
    # so timeout ends it; its exit status 124 means it was still running.
    QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 timeout -k 3 "$run_seconds" \
        "$root/usr/bin/sitebook" >"$1/stdout" 2>"$1/stderr"
}

crash_output() {
    grep -E 'AddressSanitizer|UndefinedBehaviorSanitizer|runtime error:|ASSERT|terminate called|QFATAL|Segmentation fault|core dumped' "$1"
}

case $mode in
build)
    cpack=$3
    config=$4
    command -v dpkg-shlibdeps >/dev/null ||
        fail "dpkg-shlibdeps is not installed; install the Debian package dpkg-dev"
    rm -rf "$scratch"
    mkdir -p "$scratch/out" || fail "cannot create $scratch"
    "$cpack" -G DEB --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 || {
        cat "$scratch/cpack.log"
        fail "cpack -G DEB failed"
    }
    set -- "$scratch"/out/*.deb
    [ $# -eq 1 ] && [ -f "$1" ] || fail "expected one .deb in $scratch/out, found: $*"
    cp "$1" "$scratch/sitebook.deb"
    dpkg-deb -x "$scratch/sitebook.deb" "$root" || fail "dpkg -x failed"
    echo "built $(basename "$1")"
    ;;

contents)
    version=$3
    app_id=$4
    deb=$scratch/sitebook.deb
    [ "$(dpkg-deb -f "$deb" Package)" = sitebook ] || fail "package name is not sitebook"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for dependency in libqt6core6 libqt6gui6 libqt6widgets6 libxml2 qt6-qpa-plugins fonts-liberation; do
        echo "$depends" | grep -Eq "(^|[ ,])$dependency( |,|$)" ||
            fail "Depends lacks $dependency"
    done
    maintainer=$(dpkg-deb -f "$deb" Maintainer)
    echo "$maintainer" | grep -q '@sitebook.example.org>' || fail "maintainer is '$maintainer'"

    for file in usr/bin/sitebook usr/bin/sitebook-rtf usr/bin/sitebook-bookmarks; do
        [ -x "$root/$file" ] || fail "$file is missing or not executable"
    done
    for file in "usr/share/applications/$app_id.desktop" \
        "usr/share/metainfo/$app_id.metainfo.xml" usr/share/man/man1/sitebook.1.gz \
        usr/share/man/man1/sitebook-bookmarks.1.gz; do
        [ -s "$root/$file" ] || fail "$file is missing"
    done
    for size in 16 32 48 64 128 256; do
        icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/sitebook.png
        [ -s "$icon" ] || fail "no ${size}x$size icon"
        # The PNG header holds the width and height as big-endian words at byte 16.
        dimensions=$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ' | sed 's/^ //')
        expected="0 0 $((size / 256)) $((size % 256)) 0 0 $((size / 256)) $((size % 256))"
        [ "$dimensions" = "$expected" ] || fail "the ${size}x$size icon is not $size pixels square"
    done
    desktop=$root/usr/share/applications/$app_id.desktop
    exec_line=$(grep '^Exec=' "$desktop") || fail "the desktop entry has no Exec"
    [ "$exec_line" = "Exec=sitebook" ] || fail "unexpected $exec_line"
    grep -qx 'Icon=sitebook' "$desktop" || fail "the desktop entry does not name the icon sitebook"
    # Nothing may land outside /usr, where the package manager owns the files.
    stray=$(find "$root" -mindepth 1 -maxdepth 1 ! -name usr)
    [ -z "$stray" ] || fail "files outside /usr: $stray"
    ;;

starts)
    work=$(mktemp -d) || fail "mktemp"
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/demo" "$work/demo/List"
    # Two entries in the form the program itself writes.
    printf '%s\r\n%s\r\n%s\r\n' \
        '{\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fnil\fcharset204{\*\fname Arial;}Arial CYR;}}' \
        '\viewkind4\uc1\pard\lang1049\f0\fs20 https://www.debian.org/' \
        '\par }' >"$work/demo/List/Debian"
    printf '%s\r\n%s\r\n%s\r\n' \
        '{\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fnil\fcharset204{\*\fname Arial;}Arial CYR;}}' \
        '\viewkind4\uc1\pard\lang1049\f0\fs20 https://www.qt.io/ \b Qt\b0  documentation' \
        '\par }' >"$work/demo/List/Qt"
    (cd "$work/demo" && run_installed "$work")
    status=$?
    cat "$work/stderr" >&2
    [ "$status" -eq 124 ] ||
        fail "the installed program ended with status $status within $run_seconds s instead of running"
    ! crash_output "$work/stderr" >/dev/null || fail "the installed program reported a crash"
    ;;

no-list)
    work=$(mktemp -d) || fail "mktemp"
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/empty"
    (cd "$work/empty" && run_installed "$work")
    status=$?
    cat "$work/stdout" "$work/stderr"
    # With no List folder the program asks whether to make one, in a modal box that
    # nobody can answer offscreen: it must still be waiting when timeout ends it, and
    # must not have made the folder unasked. (What each answer does is tested
    # in-process, where a script answers the box.)
    [ "$status" -eq 124 ] ||
        fail "with no List folder the program ended with status $status instead of asking"
    [ ! -e "$work/empty/List" ] || fail "the program made the List folder without being asked"
    ! crash_output "$work/stderr" >/dev/null || fail "the installed program reported a crash"
    ;;

bookmarks)
    # The installed tool imports a browser's bookmark file into a list and exports the
    # list again.
    work=$(mktemp -d) || fail "mktemp"
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/List"
    printf '%s\n' '<!DOCTYPE NETSCAPE-Bookmark-file-1>' \
        '<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">' \
        '<DL><p>' '<DT><H3>Linux</H3>' '<DL><p>' \
        '<DT><A HREF="https://www.debian.org/" ADD_DATE="1700000000">Debian</A>' \
        '<DD>The universal operating system' '</DL><p>' \
        '<DT><A HREF="place:sort=8">Recent</A>' '</DL><p>' >"$work/bookmarks.html"
    tool=$root/usr/bin/sitebook-bookmarks
    (cd "$work" && QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 "$tool" import bookmarks.html) \
        >"$work/stdout" 2>"$work/stderr"
    status=$?
    cat "$work/stdout" "$work/stderr"
    [ "$status" -eq 0 ] || fail "the installed import ended with status $status"
    grep -q '^Imported: 1' "$work/stdout" || fail "the import did not report one bookmark"
    grep -q 'Folder: Linux' "$work/List/Debian" || fail "the entry Debian lacks its folder"
    LC_ALL=C.UTF-8 "$tool" export --list "$work/List" -o "$work/out.html" 2>"$work/stderr" ||
        fail "the installed export failed: $(cat "$work/stderr")"
    grep -q '<DT><A HREF="https://www.debian.org/">Debian</A>' "$work/out.html" ||
        fail "the export lacks the entry: $(cat "$work/out.html")"
    ! crash_output "$work/stderr" >/dev/null || fail "the installed tool reported a crash"
    ;;

*)
    fail "unknown mode $mode"
    ;;
esac
exit 0
