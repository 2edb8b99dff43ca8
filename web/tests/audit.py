"""Audits of the web page: axe-core over every view, then Lighthouse on the
mobile and desktop profiles.

Usage: audit.py PAGE_DIR NODE_MODULES [axe|lighthouse]...   (both by default)

axe-core runs in headless Chromium (as the browser tests drive it) over the
page with one patch and with both side by side, on a wide screen and on a
360 px phone; any violation fails. Lighthouse (its own Chromium, Debian's,
headless) must give accessibility, best practices and SEO 100 on both
profiles; its performance score and metrics are printed, not judged: on
SwiftShader, on a shared machine, they vary from run to run.
"""

import json
import os
import subprocess
import sys
import tempfile
import threading

import browser_test
import serve

CATEGORIES = ("accessibility", "best-practices", "seo")
METRICS = (("first-contentful-paint", "FCP"), ("largest-contentful-paint", "LCP"),
           ("total-blocking-time", "TBT"), ("cumulative-layout-shift", "CLS"),
           ("speed-index", "SI"))
# As the browser tests start Chromium, and nothing more that reaches out to
# the network.
CHROME_FLAGS = " ".join(browser_test.CHROMIUM_FLAGS
                        + ("--disable-default-apps", "--disable-domain-reliability"))


def run_axe(axe_script):
    """Runs axe in each view; returns the number of violations."""
    with open(axe_script, encoding="utf-8") as script:
        axe = script.read()
    found = 0
    for name, query, phone in (("one patch", "", False), ("side by side", "?compare", False),
                               ("phone, one patch", "", True),
                               ("phone, both patches", "?compare", True)):
        browser = browser_test.open_page(query, phone)
        try:
            browser.js(axe)
            result = browser.driver.execute_async_script(
                "var done = arguments[0];"
                "axe.run(document).then(function (r) {"
                "  done({violations: r.violations.map(function (v) {"
                "    return v.id + ': ' + v.help + ' (' + v.nodes.map(function (n) {"
                "      return n.target.join(' '); }).join(', ') + ')'; }),"
                "    passes: r.passes.length, incomplete: r.incomplete.map(function (v) {"
                "      return v.id; })}); },"
                " function (e) { done({error: String(e)}); });")
        finally:
            browser.close()
        if "error" in result:
            raise RuntimeError(f"axe failed on {name}: {result['error']}")
        found += len(result["violations"])
        print(f"axe, {name}: {len(result['violations'])} violations, {result['passes']} rules"
              f" passed, to check by hand: {', '.join(result['incomplete']) or 'none'}")
        for violation in result["violations"]:
            print(f"  {violation}")
    return found


def run_lighthouse(page_dir, node_modules):
    """Runs Lighthouse on both profiles; returns the categories under 100."""
    server = serve.make_server(page_dir, 0)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    cli = os.path.join(node_modules, "lighthouse", "cli", "index.js")
    environment = dict(os.environ, CHROME_PATH="/usr/bin/chromium")
    below = []
    try:
        with tempfile.TemporaryDirectory(prefix="bumpmap-lighthouse-") as out:
            for profile in ("mobile", "desktop"):
                report = os.path.join(out, f"{profile}.json")
                command = ["node", cli, url, "--quiet", "--output=json",
                           f"--output-path={report}", f"--chrome-flags={CHROME_FLAGS}",
                           "--only-categories=performance,accessibility,best-practices,seo"]
                if profile == "desktop":
                    command.append("--preset=desktop")
                subprocess.run(command, env=environment, check=True)
                with open(report, encoding="utf-8") as file:
                    result = json.load(file)
                below += report_profile(profile, result)
    finally:
        server.shutdown()
        server.server_close()
    return below


def report_profile(profile, result):
    categories = result["categories"]
    audits = result["audits"]
    scores = {name: categories[name]["score"] for name in ("performance",) + CATEGORIES}
    print(f"Lighthouse {result['lighthouseVersion']}, {profile}: " + ", ".join(
        f"{name} {round(score * 100) if score is not None else 'error'}"
        for name, score in scores.items()))
    print("  performance (not judged): " + ", ".join(
        f"{short} {audits[key]['displayValue']}" for key, short in METRICS
        if audits.get(key, {}).get("displayValue")))
    errors = [key for key, audit in audits.items() if audit.get("scoreDisplayMode") == "error"]
    if errors:
        print(f"  audits that could not run: {', '.join(errors)}")
    below = []
    for name in CATEGORIES:
        if scores[name] != 1:
            below.append(f"{profile} {name}")
            for reference in categories[name]["auditRefs"]:
                audit = audits[reference["id"]]
                if reference["weight"] and audit["score"] is not None and audit["score"] < 1:
                    print(f"  {name}: {audit['id']}: {audit['title']}")
    return below


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    page_dir, node_modules = sys.argv[1], sys.argv[2]
    wanted = sys.argv[3:] or ["axe", "lighthouse"]
    browser_test.PAGE_DIR = page_dir
    os.environ.pop("DISPLAY", None)
    failed = []
    if "axe" in wanted:
        violations = run_axe(os.path.join(node_modules, "axe-core", "axe.min.js"))
        if violations:
            failed.append(f"axe: {violations} violations")
    if "lighthouse" in wanted:
        below = run_lighthouse(page_dir, node_modules)
        if below:
            failed.append("Lighthouse under 100: " + ", ".join(below))
    if failed:
        sys.exit("audit: FAILED: " + "; ".join(failed))
    print("audit: passed")


if __name__ == "__main__":
    main()
