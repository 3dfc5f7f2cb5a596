# WebAssembly toolchain for the web build: Debian's emscripten package (em++ needs
# NODE_PATH=/usr/share/nodejs in the environment with this machine's Node.js; `make web` sets it).
set(EMSCRIPTEN_ROOT_PATH /usr/share/emscripten CACHE PATH "Debian's emscripten")
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
