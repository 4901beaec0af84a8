#!/usr/bin/python3
"""The example gallery in a real browser: headless Chromium driven by Selenium.

    browser_test.py CORVELLA SITE IMAGES [SCREENSHOT]

Serves a copy of SITE with `CORVELLA serve`, then checks in the browser that every thumbnail of
the gallery decodes (natural width 200), that a photo uploaded through the real form appears
with its thumbnail, that the session's visit counter survives page loads, and that a failing
page shows the 500 page. SCREENSHOT, when given, receives a PNG of the gallery.
Exit status 77 (a skip) only when Chromium cannot start on this machine.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("SKIP: python3-selenium is not installed (scripts/install-deps installs it)")
    sys.exit(77)


def start_browser():
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1000,760"):
        options.add_argument(argument)
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    return webdriver.Chrome(service=service, options=options)


def start_server(corvella, site):
    server = subprocess.Popen([corvella, "serve", site, "--port", "0", "--detailed-errors"],
                              stderr=subprocess.PIPE, text=True)
    line = server.stderr.readline()
    match = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
    if not match:
        server.kill()
        sys.exit("the server did not start: " + line)
    return server, "http://127.0.0.1:%s" % match.group(1)


def thumbnails_decoded(browser):
    """The natural widths of the gallery's images once all have loaded, else None."""
    return browser.execute_script(
        "const images = [...document.querySelectorAll('#photos img')];"
        "return images.every(i => i.complete) ? images.map(i => i.naturalWidth) : null;")


def visits(browser):
    return int(browser.find_element(By.ID, "visits").text)


def main():
    corvella, site_source, images = sys.argv[1:4]
    screenshot = sys.argv[4] if len(sys.argv) > 4 else None
    work = tempfile.mkdtemp(prefix="corvella-browser-")
    site = os.path.join(work, "site")
    shutil.copytree(site_source, site)
    with open(os.path.join(site, "broken.asp"), "w") as page:
        page.write("<% Option Explicit %>\n<p>before</p>\n<%= 1 / 0 %>\n")
    try:
        browser = start_browser()
    except Exception as error:  # the machine lacks a working Chromium
        print("SKIP: Chromium cannot start here: %s" % str(error).splitlines()[0])
        shutil.rmtree(work)
        return 77
    server, base = start_server(corvella, site)
    wait = WebDriverWait(browser, 30)
    try:
        # The gallery: every thumbnail decoded by the browser at 200 pixels wide.
        browser.get(base + "/")
        widths = wait.until(thumbnails_decoded)
        assert len(widths) == 3 and all(w == 200 for w in widths), widths
        first = visits(browser)
        if screenshot:
            browser.save_screenshot(screenshot)

        # The session's counter survives page loads.
        browser.get(base + "/")
        wait.until(thumbnails_decoded)
        assert visits(browser) == first + 1, (first, visits(browser))

        # An upload through the real form: back in the gallery, one more photo, decoded.
        browser.get(base + "/upload.asp")
        browser.find_element(By.ID, "title").send_keys("Coffee cup")
        browser.find_element(By.ID, "photo").send_keys(
            os.path.join(os.path.abspath(images), "coffee_rgb_600x400.png"))
        browser.find_element(By.ID, "send").click()
        wait.until(lambda b: "uploaded=" in b.current_url)
        widths = wait.until(thumbnails_decoded)
        assert len(widths) == 4 and all(w == 200 for w in widths), widths
        names = [i.get_attribute("alt") for i in browser.find_elements(By.CSS_SELECTOR, "#photos img")]
        assert any(n.startswith("coffee-cup-") for n in names), names
        assert visits(browser) == first + 2

        # A failing page shows the short 500 page, with the error for this loopback developer.
        browser.get(base + "/broken.asp")
        heading = browser.find_element(By.TAG_NAME, "h1").text
        assert heading == "500 Internal Server Error", heading
        assert "Division by zero" in browser.page_source
        assert "before" not in browser.page_source
    finally:
        browser.quit()
        server.terminate()
        server.wait(timeout=30)
        shutil.rmtree(work)
    print("browser checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
