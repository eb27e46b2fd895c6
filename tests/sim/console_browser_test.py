#!/usr/bin/python3
"""The console's page in a real browser: headless Chromium driven by Selenium.

Starts pos-printer-sim with its console on free loopback ports, opens the page, sends a receipt
over TCP and sees it appear without a reload, clicks "Paper out" and sees a status request on TCP
answer paper out, hovers an item of the receipt and sees the bytes that drew it in the inspector,
clicks a log line and sees its item picked. Leaves console.png (a screenshot) in the output folder.

Usage: console_browser_test.py POS_PRINTER_SIM OUTPUT_FOLDER RECEIPT.bin
Exit status 0 when it passed, 1 when it failed, 77 (skipped) when Chromium, its driver or Selenium
is not installed.
"""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"


def skip(why):
    print(f"SKIPPED: {why}")
    sys.exit(77)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions as ready
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    skip("python3-selenium is not installed")
for program in (CHROMIUM, DRIVER):
    if not os.access(program, os.X_OK):
        skip(f"{program} is not installed (packages chromium, chromium-driver)")


class Simulator:
    """pos-printer-sim on free loopback ports, its lines read on a thread of their own."""

    def __init__(self, program, receipts):
        self.lines = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(
            [program, "--tcp-port", "0", "--udp-port", "0", "--http", "127.0.0.1:0",
             "--receipts", receipts],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, encoding="utf-8")
        threading.Thread(target=self.read, daemon=True).start()
        self.tcp = int(self.wait_for(r"listening on TCP port (\d+)").group(1))
        self.url = self.wait_for(r"console at (http://127\.0\.0\.1:\d+/)").group(1)

    def read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def wait_for(self, pattern, seconds=10):
        until = time.monotonic() + seconds
        while time.monotonic() < until:
            with self.lock:
                for line in self.lines:
                    found = re.search(pattern, line)
                    if found:
                        return found
            if self.process.poll() is not None:
                break
            time.sleep(0.02)
        with self.lock:
            raise AssertionError(f"no line matching {pattern!r}; lines:\n" + "\n".join(self.lines))

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def status_request(port, n):
    """DLE EOT n on a new TCP connection to the printer: its one-byte answer."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(bytes([0x10, 0x04, n]))
        return s.recv(1)


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    program, output, receipt_file = sys.argv[1:]
    shutil.rmtree(output, ignore_errors=True)
    os.makedirs(output)
    profile = tempfile.mkdtemp(prefix="console-chromium-")
    sim = Simulator(program, os.path.join(output, "receipts"))
    driver = None
    try:
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                     "--window-size=1400,1000", f"--user-data-dir={profile}"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        driver.set_page_load_timeout(20)
        wait = WebDriverWait(driver, 10)

        driver.get(sim.url)
        wait.until(ready.text_to_be_present_in_element((By.ID, "live"), "live"))
        wait.until(ready.presence_of_element_located((By.ID, "tab-1")))
        driver.execute_script("window.notReloaded = true;")

        # A receipt sent over TCP appears, pushed, without a reload.
        with open(receipt_file, "rb") as f, \
                socket.create_connection(("127.0.0.1", sim.tcp), timeout=5) as s:
            s.sendall(f.read())
        card = wait.until(ready.presence_of_element_located(
            (By.CSS_SELECTOR, "article.receipt[aria-label='Receipt 1']")))
        picture = card.find_element(By.TAG_NAME, "img")
        wait.until(lambda d: d.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth === 576", picture))
        assert driver.execute_script("return window.notReloaded === true"), "the page reloaded"

        # Hovering an item shows the bytes that drew it.
        ActionChains(driver).move_to_element(picture).perform()
        title = wait.until(ready.presence_of_element_located(
            (By.CSS_SELECTOR, "#receipt-1 .item[aria-label^='text “CAFE LUNA”']")))
        ActionChains(driver).move_to_element(title).perform()
        wait.until(ready.text_to_be_present_in_element(
            (By.ID, "inspector"), "43 41 46 45 20 4C 55 4E 41"))
        inspector = driver.find_element(By.ID, "inspector").text
        assert "text: CAFE LUNA" in inspector, inspector

        # A log line clicked picks what it drew.
        line = driver.find_element(
            By.XPATH, "//ol[@id='log']/li[.//span[text()='esc/pos QR code print']]")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", line)
        line.click()
        wait.until(ready.presence_of_element_located(
            (By.CSS_SELECTOR, "#receipt-1 .item.picked[data-type='symbol']")))
        wait.until(ready.text_to_be_present_in_element((By.ID, "inspector"), "QR code"))

        # "Paper out": a status request on TCP answers paper out at once.
        assert status_request(sim.tcp, 4) == b"\x12", "paper ok before"
        driver.find_element(By.XPATH, "//button[@aria-label='Paper out']").click()
        wait.until(ready.text_to_be_present_in_element((By.ID, "state"), "Not printing"))
        answer = status_request(sim.tcp, 4)
        assert answer == b"\x7e", f"DLE EOT 4 answered {answer.hex()} after paper out"
        assert driver.find_element(By.ID, "paper-out").get_attribute("aria-pressed") == "true"
        sim.wait_for(r"printer 1 sim status now: paper out")

        driver.execute_script(  # the picked item's highlight, not its flash, in the picture
            "for (const e of document.querySelectorAll('.flash')) e.classList.remove('flash')")
        driver.save_screenshot(os.path.join(output, "console.png"))
        print(f"passed; screenshot: {os.path.join(output, 'console.png')}")
        return 0
    except Exception as failure:  # the page's state helps more than a stack alone
        if driver is not None:
            driver.save_screenshot(os.path.join(output, "failed.png"))
            for entry in driver.get_log("browser"):
                print("browser:", entry)
        with sim.lock:
            print("\n".join(sim.lines[-40:]))
        print(f"FAILED: {type(failure).__name__}: {failure}")
        return 1
    finally:
        if driver is not None:
            driver.quit()
        sim.stop()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
