// Parses texts with the public PL/SQL grammar (grammars-v4's PlSqlLexer/PlSqlParser, as the
// npm package antlr4ts-sql ships them generated) and fails unless each is exactly one
// well-terminated unit: a PL/SQL block or stored unit ends in its one ';', a SQL statement in
// none (the server refuses one that does).
//
// node check_plsql.js <grammar-package-folder> [<texts-file>]
// First checks that the grammar refuses known-bad texts at the right place, then parses the
// texts of the file: records "@@ <label> <bytes>\n<text>\n", as print_texts writes them.
'use strict';
const fs = require('fs');
const path = require('path');

const [root, input] = process.argv.slice(2);
const modules = path.resolve(root || '.', 'node_modules');
const grammar = path.join(modules, 'antlr4ts-sql', 'dist', 'src');
if (!root || !fs.existsSync(grammar)) {
    console.error(`the PL/SQL grammar is not installed in ${root}; run scripts/install-deps.sh`);
    process.exit(2);
}
// The lexer first: the runtime's modules must load in the order the generated code expects.
const { PlSqlLexer } = require(path.join(grammar, 'grammar-output/plsql/PlSqlLexer'));
const { PlSqlParser } = require(path.join(grammar, 'grammar-output/plsql/PlSqlParser'));
const { CaseChangingStream } = require(path.join(grammar, 'models/CaseChangingStream'));
const { CharStreams } = require(path.join(modules, 'antlr4ts/CharStreams'));
const { CommonTokenStream } = require(path.join(modules, 'antlr4ts/CommonTokenStream'));
const { PredictionMode } = require(path.join(modules, 'antlr4ts/atn/PredictionMode'));

// Units that carry their own closing ';' in the grammar: PL/SQL.
const PLSQL_UNITS = new Set(['Anonymous_block', 'Create_procedure_body', 'Create_function_body',
    'Create_package', 'Create_package_body', 'Create_trigger']);

function parse(text, mode = PredictionMode.SLL) {
    const errors = [];
    const listener = {
        // Where, the text there, and the grammar's complaint without its long list of tokens.
        syntaxError: (recognizer, symbol, line, column, message) => {
            const near = (text.split('\n')[line - 1] || '').slice(Math.max(0, column - 30), column + 30);
            errors.push(`line ${line}:${column + 1}: ${message.replace(/ expecting .*/, '')}` +
                ` near ${JSON.stringify(near)}`);
        },
    };
    // Keywords are upper case in the grammar; the stream shows the lexer upper case and keeps
    // the text as it is.
    const lexer = new PlSqlLexer(new CaseChangingStream(CharStreams.fromString(text), true));
    const parser = new PlSqlParser(new CommonTokenStream(lexer));
    for (const r of [lexer, parser]) {
        r.removeErrorListeners();
        r.addErrorListener(listener);
    }
    // The faster prediction first; only where it finds an error does the full one decide.
    parser.interpreter.setPredictionMode(mode);
    const tree = parser.sql_script();
    if (errors.length && mode === PredictionMode.SLL) return parse(text, PredictionMode.LL);
    const top = (tree.children || []).filter((c) => !(c.symbol && c.symbol.type === -1));
    return { errors, top };
}

// Why the text is not one well-terminated unit, or null.
function verdict(text) {
    // DROP SYNONYM is missing from this revision of the grammar (it knows CREATE SYNONYM): such
    // a statement is read by its own plain form, a name and no ';'.
    if (/^\s*DROP\s+(PUBLIC\s+)?SYNONYM\b/i.test(text))
        return /^DROP\s+(PUBLIC\s+)?SYNONYM\s+[A-Z][A-Z0-9_$#]*(\s+FORCE)?$/i.test(text) ? null :
            'not a DROP SYNONYM statement of one name';
    let { errors, top } = parse(text);
    let added = false;
    if (errors.length === 1 && errors[0].includes("missing ';' at '<EOF>'")) {
        // Some SQL rules of the grammar (DROP PROCEDURE) take the ';' that ends a line of a
        // script: the text is read again with one, which it must then not have had.
        ({ errors, top } = parse(text + '\n;'));
        added = true;
    }
    if (errors.length) return errors[0];
    const units = top.filter((c) => c.constructor.name === 'Unit_statementContext');
    if (units.length !== 1 || top.length > 2)
        return `${units.length} units where one was expected` +
            (top.length > units.length ? ", and a separating ';'" : '');
    const kind = units[0].children[0].constructor.name.replace(/Context$/, '');
    const plsql = PLSQL_UNITS.has(kind);
    if (plsql && added) return `the ${kind} lacks its closing ';'`;
    if (top.length === 2 && !added)
        return plsql ? `a ';' after the end of the ${kind}` :
            `a ${kind} statement ends in ';', which the server refuses`;
    return null;
}

// Known-bad texts, each with where the grammar must stop (null: it parses, and the unit check
// refuses it), and known-good ones.
const cases = [
    ['begin null; end;', true, null],
    ['begin dbms_pipe.purge(\'x\');; end;', false, 'line 1:28'],
    ['begin dbms_pipe.unpack_message(:len) end;', false, 'line 1:38'],
    ['begin x := \'it\'s\'; end;', false, 'line 1:'],
    ['begin null; end', false, 'the Anonymous_block lacks'],
    ['begin null; end;;', false, null],
    ['begin null; end; begin null; end;', false, null],
    ['CREATE PUBLIC SYNONYM A FOR A;', false, null],
    ['CREATE PUBLIC SYNONYM A FOR A', true, null],
    ['DROP PROCEDURE A', true, null],
    ['DROP PUBLIC SYNONYM A', true, null],
    ['DROP PUBLIC SYNONYM A;', false, null],
];
let bad = 0;
for (const [text, good, where] of cases) {
    const why = verdict(text);
    if (good ? why !== null : why === null || (where !== null && !why.startsWith(where))) {
        bad++;
        console.log(`WRONG ${JSON.stringify(text)}: ${why === null ? 'accepted' : why}`);
    }
}
console.log(`${cases.length - bad} of ${cases.length} known-bad and known-good texts judged as expected`);
if (bad || !input) process.exit(bad ? 1 : 0);

const data = fs.readFileSync(input);
let failed = 0, count = 0;
for (let at = 0; at < data.length; ++count) {
    const eol = data.indexOf(10, at);
    const match = /^@@ (.*) (\d+)$/.exec(data.subarray(at, eol).toString('utf8'));
    if (!match) throw new Error(`not a record header at byte ${at}`);
    const label = match[1], bytes = Number(match[2]);
    const text = data.subarray(eol + 1, eol + 1 + bytes).toString('utf8');
    at = eol + 1 + bytes + 1;
    const why = verdict(text);
    const shown = text.length > 70 ? text.slice(0, 70) + `... (${text.length} characters)` : text;
    console.log(`${why ? 'FAIL' : 'ok  '} ${label}: ${JSON.stringify(shown)}${why ? '\n     ' + why : ''}`);
    if (why) failed++;
}
console.log(`${count - failed} of ${count} texts parse as one well-terminated unit`);
process.exit(failed || count === 0 ? 1 : 0);
