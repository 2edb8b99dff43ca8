#!/usr/bin/env bash
# Run by the Windows build after every link of bumpmap.exe. Fails, saying why,
# when the exe needs a DLL that is not Windows' own (one a user would have to
# find), or when main no longer hands the C library's exit to GLUT: on Windows
# freeglut's glutInit and glutCreateWindow are macros for __glutInitWithExit
# and __glutCreateWindowWithExit, which take it as their last argument.
# freeglut stores that exit but never calls it, so running the program cannot
# show the hand-off; the calls in main's code and their arguments do. Fails
# too when the exe's version resource, which Windows shows in its Properties,
# does not give VERSION as its file and product version, when it has no icon
# named GLUT_ICON (the one freeglut gives its window, and Explorer shows), or
# when it still carries debug sections.
# Usage: tests/windows_exe_check.sh OBJDUMP EXE VERSION MAIN_OBJECT [OBJECT...]
# (the exe's objects in link order, main.cpp's first; the others are not read)
set -euo pipefail

objdump=$1 exe=$2 version=$3 main_object=$4
failed=false

# The resource's strings are UTF-16, each value right after its name.
for name in FileVersion ProductVersion; do
    # awk reads to the end, so that strings is never cut off by SIGPIPE.
    found=$(strings -a -e l -n 3 "$exe" |
        awk -v name="$name" 'seen == 1 { print; seen = 2 } $0 == name && !seen { seen = 1 }')
    if [[ $found != "$version" ]]; then
        echo "windows-exe-check: $exe's version resource gives $name '$found', not $version" >&2
        failed=true
    fi
done

# A resource's name is stored in UTF-16 after its length, here 9: a tab.
if ! strings -a -e l -n 3 "$exe" | grep -qx $'\tGLUT_ICON'; then
    echo "windows-exe-check: $exe has no icon named GLUT_ICON" >&2
    failed=true
fi
debug=$("$objdump" -h "$exe" | awk '$2 ~ /^\.debug/ { printf " %s", $2 }')
if [[ -n $debug ]]; then
    echo "windows-exe-check: $exe is not stripped: it has the sections$debug" >&2
    failed=true
fi

# Windows' own DLLs: those the program and freeglut use, and a few a newer
# toolchain might bring in.
windows_dll='^(advapi32|gdi32|glu32|kernel32|msvcrt|opengl32|user32|winmm|shell32|ole32|ucrtbase|api-ms-win-.*)\.dll$'
dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ { print $3 }')
[[ -n $dlls ]] || { echo "windows-exe-check: $exe imports no DLL at all?" >&2; exit 1; }
for dll in $dlls; do
    if [[ ! ${dll,,} =~ $windows_dll ]]; then
        echo "windows-exe-check: $exe needs $dll, which is not part of Windows:" \
            "link it in statically instead" >&2
        failed=true
    fi
done

# Which value reaches argument register $2 of the call to $1 in main: follows
# it back through register moves to where it is loaded, and prints the symbol
# it is loaded from, as "address-of SYMBOL" (lea) or "pointer-in SYMBOL" (a
# load through a pointer the linker fills in), or why it cannot tell.
argument_of_call() {
    "$objdump" -dr --no-show-raw-insn -M intel "$main_object" |
        awk -v callee="$1" -v register="$2" '
        # The register family a name belongs to: r8d and r8 are one register.
        function family(name) {
            if (name ~ /^r[0-9]+[dwb]?$/) { sub(/[dwb]$/, "", name); return name }
            if (name ~ /^[re]?[abcd]x$|^[abcd][lh]$/) return substr(name, length(name) == 3 ? 2 : 1, 1) "x"
            if (name ~ /^[re]?(si|di|bp|sp)l?$/) { gsub(/^[re]|l$/, "", name); return name }
            return name
        }
        # Registers a call may leave anything in (the Windows x64 convention).
        function volatile(f) { return f ~ /^(ax|cx|dx|r8|r9|r10|r11)$/ }
        /^[0-9a-f]+ <.*>:$/ { in_main = ($2 == "<main>:") ; next }
        !in_main { next }
        /^[ \t]+[0-9a-f]+:\t/ {
            sub(/^[ \t]+[0-9a-f]+:\t/, "")
            n++; text[n] = $0; reloc[n] = ""
            next
        }
        /IMAGE_REL_AMD64/ { reloc[n] = $NF; next }
        END {
            for (i = 1; i <= n; i++)
                if (text[i] ~ /^call/ && reloc[i] == callee) break
            if (i > n) { print "no call to " callee " in main"; exit }
            want = family(register)
            for (j = i - 1; j >= 1; j--) {
                split(text[j], words, /[ ,]+/)
                op = words[1]; destination = family(words[2])
                if (op ~ /^call/ && volatile(want)) { print "a call in between leaves " want " undefined"; exit }
                if (destination != want) continue
                if (op == "lea" && reloc[j] != "") { print "address-of " reloc[j]; exit }
                if (op == "mov" && text[j] ~ /QWORD PTR \[rip/ && reloc[j] != "") { print "pointer-in " reloc[j]; exit }
                if (op == "mov" && words[3] ~ /^[a-z0-9]+$/) { want = family(words[3]); continue }
                print "set by \"" text[j] "\""; exit
            }
            print "never set in main"
        }'
}

# Whether the value the call gets is exit's address.
expect_exit_passed() {
    local callee=$1 register=$2 argument
    argument=$(argument_of_call "$callee" "$register")
    case $argument in
    "address-of exit" | "pointer-in __imp_exit") return 0 ;;
    "pointer-in .refptr.exit")
        # A pointer the linker fills in: it must hold exit's address.
        "$objdump" -r -j '.rdata$.refptr.exit' "$main_object" |
            grep -Eq 'IMAGE_REL_AMD64_ADDR64[[:space:]]+exit$' && return 0
        argument="a .refptr.exit that does not hold exit"
        ;;
    esac
    echo "windows-exe-check: main must call $callee with the C library's exit as its" \
        "last argument ($register), but: $argument" >&2
    failed=true
}
expect_exit_passed __glutInitWithExit r8
expect_exit_passed __glutCreateWindowWithExit rdx

if $failed; then
    rm -f "$exe"
    exit 1
fi
echo "windows-exe-check: $(basename "$exe") imports only Windows' own DLLs (${dlls//$'\n'/ }), main passes exit to __glutInitWithExit and __glutCreateWindowWithExit, its version resource says $version, it has its icon and no debug sections"
