-- wrk script: sustained event reports, each with its own Idempotency-Key, rotating through the
-- five event endpoints for one employee and job. Every 201 is an event durable on disk.
local paths = {
  {"/api/time/clock-in", '{"employeeId":"bench","jobId":"bench","clockIn":"%s"}'},
  {"/api/break/start", '{"employeeId":"bench","jobId":"bench","start":"%s"}'},
  {"/api/break/stop", '{"employeeId":"bench","jobId":"bench","end":"%s"}'},
  {"/api/input/track", '{"employeeId":"bench","jobId":"bench","startedAt":"%s","endedAt":"%s","keystrokes":12,"clicks":3}'},
  {"/api/time/clock-out", '{"employeeId":"bench","jobId":"bench","clockOut":"%s"}'},
}

local threadIds = 0
function setup(thread)
  threadIds = threadIds + 1
  thread:set("threadId", threadIds)
end

local token = os.getenv("CORLUNE_BENCH_TOKEN") or ""
-- Several wrk processes at once each need keys of their own, or their reports are repeats.
local sender = os.getenv("CORLUNE_BENCH_SENDER") or "0"
local counter = 0
local failures = 0
function request()
  counter = counter + 1
  local p = paths[(counter % #paths) + 1]
  local instant = os.date("!%Y-%m-%dT%H:%M:%SZ")
  local body = string.format(p[2], instant, instant)
  local headers = {
    ["Content-Type"] = "application/json",
    ["Idempotency-Key"] = string.format("bench-%s-%d-%d-%d", sender, threadId, counter, os.time()),
    ["Authorization"] = "Bearer " .. token,
  }
  return wrk.format("POST", p[1], headers, body)
end

function response(status, headers, body)
  if status ~= 201 then
    failures = failures + 1
    if failures <= 3 then
      io.stderr:write("unexpected status " .. status .. ": " .. body .. "\n")
    end
  end
end
