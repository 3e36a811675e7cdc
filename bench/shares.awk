# Who spent a callgrind dump's instructions: each function's own (exclusive)
# cost, summed by where the function lives.
#   awk -v program=PATH -v frames=N -f shares.awk callgrind.out.N
# PATH is the profiled executable: in it, shell/, scene/ and the peer's own
# file are the program, and everything else is the layer (compat/ and the
# C++ library code it instantiates). Prints: category, Ir, Ir per frame, share.
#
# The file format: "ob=", "fl=", "fn=" name the object, file and function the
# cost lines after them belong to ("fi="/"fe=" only move to an inlined file);
# a "calls=" line is followed by one line of the callee's inclusive cost,
# which is not the caller's own. Names are compressed as "(id) name", then
# "(id)", with one id space for objects, one for files, one for functions.

function expand(kind, text,    id, name) {
    if (match(text, /^\([0-9]+\)/)) {
        id = substr(text, 2, RLENGTH - 2)
        name = substr(text, RLENGTH + 1)
        sub(/^ /, "", name)
        if (name != "")
            names[kind, id] = name
        return names[kind, id]
    }
    return text
}

function category(ob, fl) {
    if (ob == program) {
        if (fl ~ /\/(shell|scene)\// || fl ~ /\/bench\/glut_band/)
            return "program (shell, scene)"
        return "layer (compat/ and its C++ library code)"
    }
    if (ob ~ /libSDL2/) return "SDL"
    if (ob ~ /libglut/) return "freeglut"
    if (ob == "???" || ob ~ /(_dri\.so|libGL|libGLX|libGLdispatch|libglapi|libLLVM|libgallium|libGLU)/)
        return "Mesa (GL, GLX, GLU, llvmpipe and its JIT code)"
    if (ob ~ /lib(X11|xcb|Xext|Xrandr|Xi|Xfixes|Xcursor|Xrender|Xxf86vm|Xinerama|Xss|xshmfence|Xau|Xdmcp|xkbcommon)/)
        return "X11, xcb"
    if (ob ~ /(libc\.so|libm\.so|libstdc\+\+|libgcc_s|ld-linux)/) return "C and C++ runtime (libc, libm)"
    if (ob ~ /glcheck/) return "frame counter (glcheck)"
    return "other"
}

/^ob=/ { ob = expand("ob", substr($0, 4)); next }
/^fl=/ { fl = expand("fl", substr($0, 4)); next }
/^f[ie]=/ { expand("fl", substr($0, 4)); next }
/^fn=/ { expand("fn", substr($0, 4)); next }
/^cob=/ { expand("ob", substr($0, 5)); next }
/^cf[il]=/ { expand("fl", substr($0, 5)); next }
/^cfn=/ { expand("fn", substr($0, 5)); next }
/^calls=/ { skip = 1; next }
/^[0-9+*-]/ {
    if (skip) { skip = 0; next }
    if (NF >= 2) {
        cost[category(ob, fl)] += $2
        total += $2
    }
    next
}

END {
    if (frames < 1) frames = 1
    n = 0
    for (c in cost) order[++n] = c
    # largest first
    for (i = 1; i <= n; ++i)
        for (j = i + 1; j <= n; ++j)
            if (cost[order[j]] > cost[order[i]]) { t = order[i]; order[i] = order[j]; order[j] = t }
    for (i = 1; i <= n; ++i)
        printf "%s\t%d\t%.0f\t%.4f\n", order[i], cost[order[i]], cost[order[i]] / frames, 100 * cost[order[i]] / total
    printf "total\t%d\t%.0f\t100\n", total, total / frames
}
