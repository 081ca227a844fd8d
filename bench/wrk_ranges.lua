-- wrk: 1 MiB ranges at random offsets of a file whose size is the first
-- argument after "--". Each thread has a fixed seed, so every server is asked
-- for the same offsets. Prints one RESULT line for the runner.
local chunk = 1048576
local size = 0
local threads = 0

function setup(thread)
    threads = threads + 1
    thread:set("seed", threads)
end

function init(args)
    size = tonumber(args[1])
    math.randomseed(seed)
end

function request()
    local first = math.random(0, size - chunk)
    return wrk.format(nil, nil, { Range = string.format("bytes=%d-%d", first, first + chunk - 1) })
end

function done(summary, latency, requests)
    local e = summary.errors
    io.write(string.format("RESULT requests=%d bytes=%d duration_us=%d errors=%d\n",
        summary.requests, summary.bytes, summary.duration,
        e.connect + e.read + e.write + e.status + e.timeout))
end
