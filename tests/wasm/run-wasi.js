// Runs a standalone WebAssembly module built for WASI (em++ -sSTANDALONE_WASM) under Node's own
// WASI: node run-wasi.js MODULE.wasm [ARGUMENTS...]. The module gets the arguments, standard
// input, output and error, and no environment and no files: the tests it runs need none, and the
// kernel table it chooses then depends on the module alone. Exits with the module's status.
"use strict";
const fs = require("fs");
const { WASI } = require("wasi");

const wasi = new WASI({
    version: "preview1",
    args: process.argv.slice(2),
    env: {},
    returnOnExit: true,
});

// What emscripten imports beside WASI: a hook told of every growth of the memory, which Node's
// WASI follows by itself, and the C library's calls on paths that WASI lacks (GoogleTest links
// them for its output files). Those end the run loudly should a test ever reach one.
function emscriptenImports(module) {
    const env = { emscripten_notify_memory_growth() {} };
    for (const { module: from, name, kind } of WebAssembly.Module.imports(module)) {
        if (from !== "env" || kind !== "function" || name in env) continue;
        env[name] = () => {
            throw new Error(`the module called ${name}, which only emscripten's JavaScript has`);
        };
    }
    return env;
}

(async () => {
    const module = await WebAssembly.compile(fs.readFileSync(process.argv[2]));
    const instance = await WebAssembly.instantiate(module, {
        ...wasi.getImportObject(),
        env: emscriptenImports(module),
    });
    process.exitCode = wasi.start(instance);
})().catch((error) => {
    // A trap (an out-of-bounds access, an abort) ends the module without a status of its own.
    console.error(error);
    process.exitCode = 1;
});
