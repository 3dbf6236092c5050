-- wrk script: one JSON-RPC call per request on a keep-alive connection. The body comes from
-- the environment (GER_RPC_BODY), else GetVerifEmpresa of company "01". No response callback:
-- it would run Lua per answer and slow the client down; run.sh checks one answer with curl.
wrk.method = "POST"
wrk.path = "/GER00200.rdmEmpresa"
wrk.headers["Content-Type"] = "application/json"
wrk.body = os.getenv("GER_RPC_BODY") or
  '{"jsonrpc":"2.0","id":1,"method":"GetVerifEmpresa","params":["01"]}'

done = function(summary, latency, requests)
  io.write(string.format(
    "GER p50_us=%d p90_us=%d p99_us=%d rps=%.1f requests=%d errors=%d\n",
    latency:percentile(50), latency:percentile(90), latency:percentile(99),
    summary.requests / (summary.duration / 1e6), summary.requests,
    summary.errors.connect + summary.errors.read + summary.errors.write +
      summary.errors.status + summary.errors.timeout))
end
