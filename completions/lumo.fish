# fish completion for lumo.
# A switch is offered until either of its forms is on the command line, since
# lumo rejects both repeats and contradictions.

complete -c lumo -s h -l help -d 'Print this help message'
complete -c lumo -s v -l version -d 'Print version information'
complete -c lumo -l color -n 'not __fish_seen_argument -l color -l no-color' -d 'Enable output coloring'
complete -c lumo -l no-color -n 'not __fish_seen_argument -l color -l no-color' -d 'Disable output coloring'
complete -c lumo -l lowercase -n 'not __fish_seen_argument -l lowercase -l uppercase' -d 'Lowercase hex digits'
complete -c lumo -l uppercase -n 'not __fish_seen_argument -l lowercase -l uppercase' -d 'Uppercase hex digits'
complete -c lumo -l size -n 'not __fish_seen_argument -l size -l no-size' -d 'Show the size at the end'
complete -c lumo -l no-size -n 'not __fish_seen_argument -l size -l no-size' -d 'Hide the size at the end'
complete -c lumo -l offset -n 'not __fish_seen_argument -l offset -l no-offset' -d 'Show the offset at the left'
complete -c lumo -l no-offset -n 'not __fish_seen_argument -l offset -l no-offset' -d 'Hide the offset at the left'
complete -c lumo -l ascii -n 'not __fish_seen_argument -l ascii -l no-ascii' -d 'Show the ASCII output'
complete -c lumo -l no-ascii -n 'not __fish_seen_argument -l ascii -l no-ascii' -d 'Hide the ASCII output'
complete -c lumo -l skip-lines -n 'not __fish_seen_argument -l skip-lines -l no-skip-lines' -d 'Skip identical lines'
complete -c lumo -l no-skip-lines -n 'not __fish_seen_argument -l skip-lines -l no-skip-lines' -d 'Show identical lines'
complete -c lumo -l raw -n 'not __fish_seen_argument -l raw' -d 'Output in raw format (disables most features)'
complete -c lumo -l show-palette -n 'not __fish_seen_argument -l show-palette' -d 'Print the color palette being used'
complete -c lumo -l legend -n 'not __fish_seen_argument -l legend' -d 'Explain the colors after the dump'
complete -c lumo -l annotate -n 'not __fish_seen_argument -l annotate' -d 'Name each structure at its start in the dump'
complete -c lumo -l list -n 'not __fish_seen_argument -l list' -d "Map the file's structures instead of a dump"
complete -c lumo -l json -n 'not __fish_seen_argument -l json' -d 'With --list, print the list as JSON'
complete -c lumo -l skip -x -d 'Start at this byte offset (negative: from the end)'
complete -c lumo -l length -x -d 'Show at most this many bytes'
# The section names of the file on the command line, from `lumo --list --json`.
function __lumo_sections
    set -l words (commandline -opc)
    set -l file
    set -l after_value 0
    for word in $words[2..-1]
        if test $after_value = 1
            set after_value 0
        else if contains -- $word --parser --skip --length --section --diff
            set after_value 1
        else if not string match -q -- '-*' $word; and test -f $word
            set file $word
        end
    end
    test -n "$file"; or return
    $words[1] $file --list --json 2>/dev/null | string replace -rf '.*"name": "([^"\\\\]*)".*' '$1'
end
complete -c lumo -l section -x -a '(__lumo_sections)' -d 'Show only the named or numbered section'
complete -c lumo -l diff -r -F -d 'Compare with another file, byte by byte'
complete -c lumo -l parser -x -d 'Specify the parser to use' -a "
    elf\t'32-bit and 64-bit ELF files'
    pe\t'PE (portable executable) files'
    qoi\t'QOI (Quite OK Image)'
    macho\t'Mach-O files, thin and universal'
    wasm\t'WebAssembly modules'
    zip\t'ZIP archives (JAR, APK, DOCX, XLSX, EPUB)'
    png\t'PNG images'
    jpeg\t'JPEG images'
    gzip\t'gzip files, BGZF member by member'
    gif\t'GIF images'
    data\t'Binary or ASCII data'"
