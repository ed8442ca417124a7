-- Neovim 0.7 drives linebasic-run --lsp as a user would: opens a program, waits for its
-- warnings, applies a quick fix, goes to a definition, renames a line number and stops the
-- server. Run by ctest:
--   LINEBASIC_RUN=path/to/linebasic-run nvim --headless -u NONE -i NONE -n -c 'luafile nvim_test.lua'
-- Any failure writes what went wrong to standard error and exits with status 1.

local function fail(what)
  io.stderr:write('nvim_test: ' .. what .. '\n')
  vim.cmd('cquit 1')
end

-- Waits up to five seconds for `condition`; fails, saying `what`, when it does not come.
local function expect(what, condition)
  if not vim.wait(5000, condition, 10) then fail('timed out waiting for ' .. what) end
end

local function lines()
  return table.concat(vim.api.nvim_buf_get_lines(0, 0, -1, false), '\n')
end

local function main()
  local server = os.getenv('LINEBASIC_RUN')
  if not server or vim.fn.executable(server) ~= 1 then fail('LINEBASIC_RUN names no program') end
  local file = vim.fn.tempname() .. '.bas'
  vim.fn.writefile({'10 PRINT "hi"', '20 gosub 100', '30 end', '100 print "sub"', '110 return'}, file)
  vim.cmd('edit ' .. file)
  local buffer = vim.api.nvim_get_current_buf()

  local exitCode
  local client = vim.lsp.start_client({
    name = 'linebasic',
    cmd = {server, '--lsp'},
    root_dir = vim.fn.fnamemodify(file, ':h'),
    on_exit = function(code) exitCode = code end,
  })
  if not client then fail('the server did not start') end
  vim.lsp.buf_attach_client(buffer, client)

  expect('the warning on PRINT', function() return #vim.diagnostic.get(buffer) > 0 end)
  local warnings = vim.diagnostic.get(buffer)
  local first = warnings[1]
  if #warnings ~= 1 or first.code ~= 'keyword-case' or first.lnum ~= 0 or first.col ~= 3 then
    fail('expected one keyword-case warning at 1:4, got ' .. vim.inspect(warnings))
  end

  -- The quick fix, chosen from the menu as a user would choose its first entry.
  vim.ui.select = function(items, _, choose) choose(items[1], 1) end
  vim.api.nvim_win_set_cursor(0, {1, 4})
  vim.lsp.buf.code_action()
  expect('the fix to write print', function() return vim.fn.getline(1) == '10 print "hi"' end)
  expect('the warnings to go', function() return #vim.diagnostic.get(buffer) == 0 end)

  vim.api.nvim_win_set_cursor(0, {2, 10})
  vim.lsp.buf.definition()
  expect('the jump to line 100', function() return vim.api.nvim_win_get_cursor(0)[1] == 4 end)

  vim.lsp.buf.rename('50')
  expect('line 100 renamed 50', function()
    return lines() == '10 print "hi"\n20 gosub 50\n30 end\n50 print "sub"\n110 return'
  end)

  vim.lsp.stop_client(client)
  expect('the server to exit', function() return exitCode ~= nil end)
  if exitCode ~= 0 then fail('the server exited with status ' .. exitCode .. ' after shutdown') end
end

local ok, problem = pcall(main)
if not ok then fail(tostring(problem)) end
vim.cmd('qall!')
