# Turns a pane captured with its colours (tmux capture-pane -p -e -N) into, for each screen row,
# the row's text followed by a row of letters, one per cell, naming the look of that cell.
# Run with LC_ALL=C and -v width=COLUMNS; letters past the end of a captured row are those of
# the terminal's own colours, up to the pane's width.
#
# One letter per look (foreground, background, video attributes), named after what shows in it.
# Colours alone cannot tell every role apart, so some letters stand for several roles. A look
# missing from the table reads '?', which no expectation holds: any change of look is seen.
BEGIN {
    split("black red green yellow blue magenta cyan white", colour, " ")
    # The colour scheme.
    letter["black on blue"] = "p"                    # past end, background fill
    letter["yellow on blue"] = "o"                   # offsets, changed bytes
    letter["white on blue"] = "n"                    # frame, unchanged bytes
    letter["white on yellow"] = "c"                  # cursor
    letter["yellow on cyan"] = "C"                   # cursor on a changed byte
    letter["black on white"] = "s"                   # status line (monochrome: cursor, messages)
    letter["yellow on red"] = "m"                    # messages, prompts
    # The monochrome scheme, where the roles collapse into four looks.
    letter["black on black"] = "b"                   # past end, background fill
    letter["white on black"] = "w"                   # offsets, frame, bytes changed or not
    letter["white on white"] = "W"                   # cursor on a changed byte
    # A terminal without colours: its own colours, with video attributes.
    letter["default on default"] = "-"               # columns past 80; without colours: offsets,
                                                     # frame, unchanged bytes, past end if no dim
    letter["default on default bold"] = "e"          # changed bytes
    letter["default on default reverse"] = "r"       # cursor, status line
    letter["default on default bold reverse"] = "R"  # cursor on a changed byte, messages
    letter["default on default dim"] = "d"           # past end
    roles_reset()
}

function roles_reset() {
    fg = "default"
    bg = "default"
    bold = dim = reverse = 0
    other = ""
}

# Applies the parameters of one SGR sequence. Anything but colours, bold, dim and reverse
# joins `other`, which makes the look unknown until the next reset.
function roles_sgr(params,   count, p, i) {
    count = split(params, p, ";")
    if (count == 0)
        roles_reset()
    for (i = 1; i <= count; i++) {
        if (p[i] == "" || p[i] == "0") roles_reset()
        else if (p[i] ~ /^3[0-7]$/) fg = colour[p[i] - 29]
        else if (p[i] == "39") fg = "default"
        else if (p[i] ~ /^4[0-7]$/) bg = colour[p[i] - 39]
        else if (p[i] == "49") bg = "default"
        else if (p[i] == "1") bold = 1
        else if (p[i] == "2") dim = 1
        else if (p[i] == "7") reverse = 1
        else other = other ";" p[i]
    }
}

function roles_letter(   look) {
    look = fg " on " bg (bold ? " bold" : "") (dim ? " dim" : "") (reverse ? " reverse" : "") other
    return look in letter ? letter[look] : "?"
}

# The look carries on from one row to the next, as it does on the terminal.
{
    text = ""
    letters = ""
    for (i = 1; i <= length($0); i++) {
        c = substr($0, i, 1)
        if (c == "\033" && match(substr($0, i), /^\033\[[0-9;:]*m/)) {
            roles_sgr(substr($0, i + 2, RLENGTH - 3))
            i += RLENGTH - 1
            continue
        }
        text = text c
        # A character of several bytes takes one cell: its continuation bytes get no letter.
        if (c !~ /[\200-\277]/)
            letters = letters roles_letter()
    }
    while (length(letters) < width)
        letters = letters letter["default on default"]
    print text
    print letters
}
