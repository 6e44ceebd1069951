import { AGENTS, agentsOnPath, readAgentConfig } from './agents.mjs';

// The agents part of `tallyrig doctor`: which are on PATH, which one runs reports, how to pick
// another, and how to connect each one over MCP.
export function doctorAgents({ env, configFile, out }) {
  const config = readAgentConfig(configFile);
  if (config.problem) out(`[!!] ${config.problem}; reports wait for an MCP agent until it is fixed`);
  if (env.TALLYRIG_AGENT === 'simulate') out('[ok] TALLYRIG_AGENT=simulate: reports walk through their statuses with a timer; no agent runs');
  else if (config.agent) out(`[ok] Reports go to the headless agent "${config.agent.name}": ${config.agent.command} ${config.agent.args.join(' ')}`);
  else out('[--] No headless agent is configured: dispatched reports wait in "queued" for an MCP agent (next_report)');
  if (config.check) out(`[ok] Check command: ${config.check.command} ${config.check.args.join(' ')}`);
  if (config.relaunch) out(`[ok] Relaunch command: ${config.relaunch.command} ${config.relaunch.args.join(' ')}`);

  const found = agentsOnPath(env);
  if (found.length === 0) {
    out(`[--] No coding agent found on PATH (looked for ${AGENTS.map((a) => a.commands[0]).join(', ')})`);
  } else {
    out('Coding agents on PATH:');
    for (const { agent, file } of found) {
      out(`  ${agent.name} (${file})`);
      out(`    connect over MCP: ${agent.register ?? 'no registering command found in its documentation; give it the server command "tallyrig mcp", run in this project'}`);
      if (agent.auto) out(`    headless entry: "agent": ${JSON.stringify({ name: agent.id, command: agent.commands[0], args: agent.auto.args })}`);
      else out('    headless entry: none known; write one by hand (see below)');
    }
  }
  out('To pick another headless agent, set "agent" in tallyrig.config.json to {"command": …, "args": […]};');
  out('  the arguments may use {prompt}, {promptFile}, {screenshot} and {annotated}. Optional: "check" and');
  out('  "relaunch", each {"command": …, "args": […]}. The bridge reads the file again for each report.');
}
