-- wrk: the same request every time (no request function keeps wrk on its
-- fast path); prints one RESULT line for the runner.
function done(summary, latency, requests)
    local e = summary.errors
    io.write(string.format("RESULT requests=%d bytes=%d duration_us=%d errors=%d\n",
        summary.requests, summary.bytes, summary.duration,
        e.connect + e.read + e.write + e.status + e.timeout))
end
