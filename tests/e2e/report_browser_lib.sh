# Headless Chromium for the report's tests: run as root, with no sandbox, no
# GPU and nothing that reaches out, in a profile folder of its own.
#   render_page PAGE DOM_FILE PNG_FILE
render_page() {
    local page=$1 dom=$2 png=$3 profile
    profile=$(mktemp -d "$work/chromium-profile.XXXXXX")
    local flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
                 --disable-background-networking --disable-component-update --disable-sync
                 --user-data-dir="$profile" --hide-scrollbars)
    HOME=$profile timeout 120 chromium "${flags[@]}" --dump-dom "file://$page" >"$dom" \
        2>"$work/chromium-dom.err"
    HOME=$profile timeout 120 chromium "${flags[@]}" --window-size=1200,2400 \
        --screenshot="$png" "file://$page" >/dev/null 2>"$work/chromium-shot.err"
    rm -rf "$profile"
}
