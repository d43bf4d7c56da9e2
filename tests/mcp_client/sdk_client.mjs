// The official MCP TypeScript SDK client against `vyx mcp` over stdio:
// connect (initialize), list the tools, call snapshot, tap,
// scenario_validate and trace_explain. Prints one line per check and exits
// non-zero on the first failure.
//
//   node sdk_client.mjs <vyx> <fake adb> <trace dir> <scenario file>

import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

const [vyx, adb, traceDir, scenario] = process.argv.slice(2);
const problems = [];
const check = (condition, what, detail) => {
  console.log(`${condition ? "ok" : "FAILED"} ${what}`);
  if (!condition) {
    console.log(JSON.stringify(detail)?.slice(0, 2000));
    process.exit(1);
  }
};

const transport = new StdioClientTransport({
  command: vyx,
  args: ["mcp", "--adb", adb, "--app-id", "com.example.app", "--trace-dir", traceDir],
  env: { ...process.env },
  stderr: "inherit",
});
const client = new Client({ name: "vyx-test", version: "1.0.0" });
client.onerror = (error) => problems.push(String(error));

await client.connect(transport);
const server = client.getServerVersion();
check(server?.name === "vyx" && server?.version === "0.2.9", "initialize: server info", server);

const { tools } = await client.listTools();
check(tools.length === 26, "tools/list: 26 tools", tools.map((t) => t.name));
check(tools.every((t) => t.inputSchema?.type === "object"), "tools/list: object schemas");

const textOf = (result) => {
  check(Array.isArray(result.content) && result.content[0]?.type === "text", "tool text reply", result);
  return JSON.parse(result.content[0].text);
};

const snapshot = textOf(await client.callTool({ name: "snapshot", arguments: {} }));
check(snapshot.nodes.some((n) => n.text === "Sign in"), "snapshot: the screen's nodes", snapshot);

const tapped = textOf(await client.callTool({ name: "tap", arguments: { selector: { text: "Sign in" } } }));
check(tapped.ok === true, "tap", tapped);

const validation = textOf(await client.callTool({ name: "scenario_validate", arguments: { path: scenario } }));
check(validation.ok === true && validation.stepCount === 1, "scenario_validate", validation);

const explanation = textOf(await client.callTool({ name: "trace_explain", arguments: {} }));
check(explanation.traceDir === traceDir, "trace_explain", explanation);

// A failing tool comes back as a JSON-RPC error with the failure's name.
let failure;
try {
  await client.callTool({ name: "tap", arguments: {} });
} catch (error) {
  failure = error;
}
check(failure && /MissingSelector/.test(String(failure.message)), "tool failure as an error reply", String(failure));

await client.close();
console.log(`client errors: ${problems.length ? problems.join(" | ") : "none"}`);
