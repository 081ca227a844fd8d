-- wrk: the same request every time (no request function keeps wrk on its
-- fast path); prints one RESULT line for the runner, with the 99th
-- percentile of the latency.
function done(summary, latency, requests)
    local e = summary.errors
    io.write(string.format("RESULT requests=%d bytes=%d duration_us=%d errors=%d p99_us=%d\n",
        summary.requests, summary.bytes, summary.duration,
        e.connect + e.read + e.write + e.status + e.timeout, latency:percentile(99)))
end
