#!/usr/bin/env node
// Fails when package.json names a tool by anything but an exact version, or
// when a package in the lock depends on a registry tag ("latest", "next"...).
// npm checks such a dependency against whatever the tag points at on the day
// of the install, so a lock that installed yesterday is refused once the tag
// moves.
// Usage: node scripts/npm-lock-check.js [package-lock.json]
"use strict";
const fs = require("fs");

const lockPath = process.argv[2] || "package-lock.json";
const lock = JSON.parse(fs.readFileSync(lockPath, "utf8"));

// A version or range starts with a digit, an operator, "*", "x" or "v1";
// URLs, git and file specs hold ":" or "/". What is left is a tag's name.
function isTag(wanted) {
    const target = wanted.startsWith("npm:") ? wanted.slice(wanted.lastIndexOf("@") + 1) : wanted;
    return /^[A-Za-z][\w.-]*$/.test(target) && !/^[xX]$/.test(target) && !/^v\d/.test(target);
}

const findings = [];
for (const [path, entry] of Object.entries(lock.packages || {})) {
    const name = path === "" ? "package.json" : path.replace(/^.*node_modules\//, "");
    for (const kind of ["dependencies", "devDependencies", "optionalDependencies", "peerDependencies"]) {
        for (const [dependency, wanted] of Object.entries(entry[kind] || {})) {
            if (isTag(wanted)) {
                findings.push(`${name} depends on ${dependency}@${wanted}, a registry tag`);
            } else if (path === "" && !/^\d+\.\d+\.\d+$/.test(wanted)) {
                findings.push(`package.json names ${dependency} by "${wanted}", not an exact version`);
            }
        }
    }
}
for (const finding of findings) console.error(`${lockPath}: ${finding}`);
process.exit(findings.length ? 1 : 0);
