// Reads WebVTT files with the W3C's reference parser (npm package webvtt-parser, given the
// whole HTML character reference table as its documentation says for the full rules) and prints,
// as JSON, each file's cues: start and end in ms, the text of the cue's text nodes, and settings.
//   node webvtt_reference.js NODE_MODULES_DIR FILE...
'use strict';
const fs = require('fs');
const path = require('path');
const modules = process.argv[2];
const { WebVTTParser } = require(path.join(modules, 'webvtt-parser'));
const entities = JSON.parse(fs.readFileSync(path.join(modules, 'webvtt-parser', 'html-entities.json'), 'utf8'));

function textOf(node) {
  if (node.type === 'text') return node.value;
  return (node.children || []).map(textOf).join('');
}

const result = {};
for (const file of process.argv.slice(3)) {
  // WebVTT is UTF-8; a leading byte-order mark is taken out as the decoder does.
  let input = fs.readFileSync(file).toString('utf8');
  if (input.charCodeAt(0) === 0xfeff) input = input.slice(1);
  const parsed = new WebVTTParser(entities).parse(input, 'subtitles');
  result[file] = parsed.cues.map((cue) => ({
    start: Math.round(cue.startTime * 1000),
    end: Math.round(cue.endTime * 1000),
    text: textOf(cue.tree),
    vertical: cue.direction,
    line: cue.linePosition,
    snap: cue.snapToLines ? 1 : 0,
    lineAlign: cue.lineAlign,
    position: cue.textPosition,
    positionAlign: cue.positionAlign,
    size: cue.size,
    align: cue.alignment,
  }));
}
process.stdout.write(JSON.stringify(result));
