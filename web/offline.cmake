# Run by the build after the page is linked (cmake -P): puts the manifest and
# the icons beside the page, and the service worker with its cache named after
# a hash of every file it keeps, so that each build's worker is a new one.
# -D SOURCE=web/ -D ICONS=data/icons/hicolor -D OUT=build-web
foreach(size 32 48 128 256)
  configure_file(${ICONS}/${size}x${size}/apps/bumpmap.png ${OUT}/icons/bumpmap-${size}.png COPYONLY)
endforeach()
configure_file(${SOURCE}/manifest.webmanifest ${OUT}/manifest.webmanifest COPYONLY)
set(kept "")
foreach(file index.html index.js index.wasm manifest.webmanifest icons/bumpmap-32.png
        icons/bumpmap-48.png icons/bumpmap-128.png icons/bumpmap-256.png)
  file(SHA256 ${OUT}/${file} hash)
  string(APPEND kept "${file} ${hash}\n")
endforeach()
file(READ ${SOURCE}/sw.js worker)
string(APPEND kept "${worker}")
string(SHA256 version "${kept}")
string(SUBSTRING "${version}" 0 16 version)
string(REPLACE "@VERSION@" "${version}" worker "${worker}")
file(WRITE ${OUT}/sw.js.new "${worker}")
file(COPY_FILE ${OUT}/sw.js.new ${OUT}/sw.js ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}/sw.js.new)
