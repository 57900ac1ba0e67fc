// A site's own small stream player: fetches the playlist, then the key and
// init segments, then the segments one by one (every answer read to its end,
// so the browser keeps it), and appends fragmented MP4 to a MediaSource.
// The page's configuration says which segments the viewer skipped.  When all
// is done the player tells the lab at /streams/done, with what it did.
(async () => {
  const config = JSON.parse(document.getElementById("stream-config").textContent);
  const element = document.getElementById("player");
  const report = { fetched: 0, appended: 0, buffered: "", error: "" };

  async function get(address, asText) {
    const response = await fetch(address);
    if (!response.ok) throw new Error(address + " answered " + response.status);
    const body = asText ? await response.text() : await response.arrayBuffer();
    report.fetched++;
    return body;
  }

  function attribute(line, name) {
    const found = new RegExp(name + '="([^"]*)"').exec(line);
    return found ? found[1] : null;
  }

  // One track: the variant's own init segment, key and segments.
  function hlsPlan(text, base) {
    const track = { type: config.type, init: null, segments: [] };
    let key = null;
    for (const raw of text.split("\n")) {
      const line = raw.trim();
      if (line.startsWith("#EXT-X-MAP:")) track.init = new URL(attribute(line, "URI"), base).href;
      else if (line.startsWith("#EXT-X-KEY:") && line.includes("METHOD=AES-128"))
        key = new URL(attribute(line, "URI"), base).href;
      else if (line && !line.startsWith("#")) track.segments.push(new URL(line, base).href);
    }
    return { key, tracks: [track] };
  }

  function seconds(duration) {
    const found = /^PT(?:([0-9.]+)H)?(?:([0-9.]+)M)?(?:([0-9.]+)S)?$/.exec(duration || "");
    if (!found) throw new Error("unreadable duration " + duration);
    return (Number(found[1] || 0) * 60 + Number(found[2] || 0)) * 60 + Number(found[3] || 0);
  }

  // One track per representation, its addresses from its SegmentTemplate.
  function dashPlan(text, base) {
    const mpd = new DOMParser().parseFromString(text, "application/xml").documentElement;
    const length = seconds(mpd.getAttribute("mediaPresentationDuration"));
    const tracks = [];
    for (const representation of mpd.getElementsByTagName("Representation")) {
      const template = representation.getElementsByTagName("SegmentTemplate")[0];
      const id = representation.getAttribute("id");
      const fill = (pattern, number) =>
        new URL(pattern.replaceAll("$RepresentationID$", id).replaceAll("$Number$", String(number)), base).href;
      const scale = Number(template.getAttribute("timescale") || 1);
      const count = Math.ceil((length * scale) / Number(template.getAttribute("duration")) - 1e-9);
      const first = Number(template.getAttribute("startNumber") || 1);
      const track = {
        type: representation.getAttribute("mimeType") + '; codecs="' + representation.getAttribute("codecs") + '"',
        init: fill(template.getAttribute("initialization"), 0),
        segments: [],
      };
      for (let index = 0; index < count; index++) track.segments.push(fill(template.getAttribute("media"), first + index));
      tracks.push(track);
    }
    return { key: null, tracks };
  }

  // Byte ranges of one address, read to their end.
  async function getRange(address, first, last) {
    const response = await fetch(address, { headers: { Range: "bytes=" + first + "-" + last } });
    if (response.status !== 206) throw new Error(address + " answered " + response.status + " to a range");
    const body = await response.arrayBuffer();
    report.fetched++;
    return body;
  }

  // Whole single-file tracks, as a site that fetches them by byte ranges:
  // each track's header and index, then pieces of the tracks in turn.
  async function playRanged(buffers) {
    const next = config.tracks.map(() => 0);
    for (let index = 0; index < config.tracks.length; index++) {
      const track = config.tracks[index];
      const data = await getRange(track.address, 0, track.header);
      next[index] = track.header + 1;
      if (buffers.length) await append(buffers[index], data);
    }
    while (next.some((at, index) => at < config.tracks[index].size)) {
      for (let index = 0; index < config.tracks.length; index++) {
        const track = config.tracks[index];
        if (next[index] >= track.size) continue;
        const last = Math.min(track.size, next[index] + config.piece) - 1;
        const data = await getRange(track.address, next[index], last);
        next[index] = last + 1;
        if (buffers.length) {
          await append(buffers[index], data);
          report.appended++;
        }
      }
    }
  }

  function opened(source) {
    return new Promise((resolve) => source.addEventListener("sourceopen", resolve, { once: true }));
  }

  function append(buffer, data) {
    return new Promise((resolve, reject) => {
      const done = () => {
        buffer.removeEventListener("error", failed);
        resolve();
      };
      const failed = () => {
        buffer.removeEventListener("updateend", done);
        reject(new Error("the source buffer refused a segment"));
      };
      buffer.addEventListener("updateend", done, { once: true });
      buffer.addEventListener("error", failed, { once: true });
      buffer.appendBuffer(data);
    });
  }

  async function playPlaylist() {
    const base = new URL(config.playlist, location.href).href;
    const text = await get(base, true);
    const plan = config.protocol === "dash" ? dashPlan(text, base) : hlsPlan(text, base);
    // The key is fetched as a player fetches it; this page does not decrypt.
    if (plan.key) await get(plan.key, false);
    let source = null;
    let buffers = [];
    if (config.mse) {
      source = new MediaSource();
      element.src = URL.createObjectURL(source);
      await opened(source);
      buffers = plan.tracks.map((track) => source.addSourceBuffer(track.type));
    }
    for (let index = 0; index < plan.tracks.length; index++) {
      const track = plan.tracks[index];
      if (!track.init) continue;
      const data = await get(track.init, false);
      if (source) await append(buffers[index], data);
    }
    const count = Math.max(...plan.tracks.map((track) => track.segments.length));
    for (let number = 0; number < count; number++) {
      if (config.skip.includes(number)) continue;
      for (let index = 0; index < plan.tracks.length; index++) {
        const address = plan.tracks[index].segments[number];
        if (!address) continue;
        const data = await get(address, false);
        if (source) {
          await append(buffers[index], data);
          report.appended++;
        }
      }
    }
    if (source) {
      source.endOfStream();
      const ranges = [];
      for (let index = 0; index < element.buffered.length; index++)
        ranges.push(element.buffered.start(index).toFixed(3) + "-" + element.buffered.end(index).toFixed(3));
      report.buffered = ranges.join(";");
    }
}

  async function playRangedPage() {
    const source = new MediaSource();
    element.src = URL.createObjectURL(source);
    await opened(source);
    await playRanged(config.tracks.map((track) => source.addSourceBuffer(track.type)));
    source.endOfStream();
    const ranges = [];
    for (let index = 0; index < element.buffered.length; index++)
      ranges.push(element.buffered.start(index).toFixed(3) + "-" + element.buffered.end(index).toFixed(3));
    report.buffered = ranges.join(";");
  }

  try {
    if (config.protocol === "ranged") await playRangedPage();
    else await playPlaylist();
  } catch (error) {
    report.error = String((error && error.message) || error);
  }
  const query = new URLSearchParams({ page: config.page });
  for (const [name, value] of Object.entries(report)) query.set(name, String(value));
  try {
    await fetch("/streams/done?" + query.toString(), { cache: "no-store" });
  } catch (error) {
    // The lab is gone: nobody waits for this page any more.
  }
  document.title = report.error ? "failed" : "done";
})();
