// Drives the system's Chromium, headless, over its DevTools protocol on a
// pipe (--remote-debugging-pipe: JSON messages ended by a NUL byte, written
// to its fd 3 and read from its fd 4). Plain Node.js, no package: it runs
// on Debian's own node, and nothing here downloads a browser.
//
//   const browser = await launchChromium();
//   const page = await browser.newPage(800, 600);
//   await page.goto(url); await page.waitFor(() => ...); await page.screenshot(file);
//   await browser.close();
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import os from "node:os";
import path from "node:path";

const CommandTimeout = 60000;

export async function launchChromium() {
  const profile = mkdtempSync(path.join(os.tmpdir(), "tesselune-chromium-"));
  const child = spawn(process.env.CHROMIUM || "/usr/bin/chromium", [
    "--headless", "--remote-debugging-pipe", `--user-data-dir=${profile}`, "--no-sandbox", "--disable-gpu",
    "--disable-quic", "--no-first-run", "--disable-background-networking", "--disable-component-update",
    "--disable-sync", "--hide-scrollbars", "--mute-audio", "about:blank",
  ], { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] });
  let stderr = "";
  child.stdio[2].on("data", (d) => { stderr = (stderr + d).slice(-4000); });

  let nextId = 1, buffer = "", exited = null;
  const pending = new Map(), listeners = [];
  const failAll = (error) => {
    for (const { reject } of pending.values()) reject(error);
    pending.clear();
  };
  child.on("exit", (code, signal) => {
    exited = new Error(`Chromium ended (${signal || code}): ${stderr.trim()}`);
    failAll(exited);
  });
  child.on("error", (e) => { exited = e; failAll(e); });
  child.stdio[3].on("error", () => {});  // a write after Chromium ended: its exit rejects the calls
  child.stdio[4].setEncoding("utf8");
  child.stdio[4].on("data", (chunk) => {
    buffer += chunk;
    for (let end; (end = buffer.indexOf("\0")) >= 0;) {
      const message = JSON.parse(buffer.slice(0, end));
      buffer = buffer.slice(end + 1);
      if (message.id !== undefined) {
        const call = pending.get(message.id);
        if (!call) continue;
        pending.delete(message.id);
        clearTimeout(call.timer);
        if (message.error) call.reject(new Error(`${call.method}: ${message.error.message}`));
        else call.resolve(message.result);
      } else {
        for (const listener of listeners) listener(message);
      }
    }
  });

  const send = (method, params = {}, sessionId = undefined) => {
    if (exited) return Promise.reject(exited);
    const id = nextId++;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        pending.delete(id);
        reject(new Error(`${method}: no answer from Chromium in ${CommandTimeout / 1000} s`));
      }, CommandTimeout);
      pending.set(id, { resolve, reject, timer, method });
      child.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
    });
  };

  return {
    async newPage(width, height) {
      const { targetId } = await send("Target.createTarget", { url: "about:blank" });
      const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
      const call = (method, params) => send(method, params, sessionId);
      const errors = [];
      listeners.push((m) => {
        if (m.sessionId === sessionId && m.method === "Runtime.exceptionThrown") {
          const d = m.params.exceptionDetails;
          errors.push((d.exception && d.exception.description) || d.text);
        }
      });
      await call("Page.enable");
      await call("Runtime.enable");
      await call("Emulation.setDeviceMetricsOverride", { width, height, deviceScaleFactor: 1, mobile: false });
      const evaluate = async (fn, arg) => {
        const { result, exceptionDetails } = await call("Runtime.evaluate", {
          expression: `(${fn})(${JSON.stringify(arg)})`, awaitPromise: true, returnByValue: true,
        });
        if (exceptionDetails) {
          throw new Error((exceptionDetails.exception && exceptionDetails.exception.description) ||
                          exceptionDetails.text);
        }
        return result.value;
      };
      return {
        errors,
        evaluate,
        async goto(url) {
          const { errorText } = await call("Page.navigate", { url });
          if (errorText) throw new Error(`${url}: ${errorText}`);
          await this.waitFor(() => document.readyState === "complete");
        },
        // Polls fn in the page until it returns something true.
        async waitFor(fn, arg = null, timeout = 20000) {
          const until = Date.now() + timeout;
          for (;;) {
            const value = await evaluate(fn, arg);
            if (value) return value;
            if (Date.now() > until) throw new Error(`timed out after ${timeout} ms waiting for ${fn}`);
            await new Promise((r) => setTimeout(r, 50));
          }
        },
        async screenshot(file) {
          const { data } = await call("Page.captureScreenshot", { format: "png" });
          writeFileSync(file, Buffer.from(data, "base64"));
        },
        async mouseMove(x, y) {
          await call("Input.dispatchMouseEvent", { type: "mouseMoved", x, y, button: "none" });
        },
      };
    },
    async close() {
      if (!exited) {
        const ended = new Promise((r) => child.once("exit", r));
        await send("Browser.close").catch(() => {});
        const killer = setTimeout(() => child.kill("SIGKILL"), 5000);
        await ended;
        clearTimeout(killer);
      }
      rmSync(profile, { recursive: true, force: true });
    },
  };
}
