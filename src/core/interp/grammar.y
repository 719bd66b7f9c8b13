/* Grammar of the surface script. Each assignment and each if condition is collected as a tree
   in the compiler's node area; when it is complete the tree becomes code and the area is
   emptied, so statements compile one after another, in source order.

   The parser keeps all its state on the C stack of one call (pure parser, the compiler as
   parameter), so any number of engines can compile side by side. Its stacks are fixed at 200
   entries above the start state and never grow. */

%code top {
#include <cstring>

#include "core/interp/compiler.h"
#include "core/interp/lexer.h"

/* 200 entries above the start state: the skeleton reports exhaustion when the state about to
   be stored lands on the last of YYMAXDEPTH slots, so two more are needed. Initial and maximum
   depth are equal, so the stacks are never reallocated. */
#define YYMAXDEPTH 202
#define YYINITDEPTH 202
}

%define api.pure full
%define api.prefix {velmor_yy}
%define api.token.prefix {TOK_}
%parse-param {velmor::Compiler* compiler}
%lex-param {velmor::Compiler* compiler}
%expect 0

%code {
static int velmor_yylex(VELMOR_YYSTYPE* value, velmor::Compiler* compiler);
static void velmor_yyerror(velmor::Compiler* compiler, const char* message);

/* A node for a one-operand operator or function. */
static int Unary(velmor::Compiler* compiler, int subCode, int operand) {
    return compiler->NewNode(subCode, operand, velmor::kNoNode);
}
}

%union {
    double number;
    int ident;
    int label;
    int node;
}

/* Terminals carry the lexer's token codes. */
%token <ident> IDENT 257 Z 258
%token <number> NUMBER 259 PI 260
%token X 261 Y 262 IF 263 ELSE 264
%token LBRACE 265 RBRACE 266 LPAREN 267 RPAREN 268 SEMICOLON 269 COMMA 270 ASSIGN 271 NOT 272
%token SIN 273 COS 274 TAN 275 ASIN 276 ACOS 277 ATAN 278 SINH 279 COSH 280 TANH 281
%token EXP 282 LN 283 LOG 284 LOG10 285 POW 286 SQRT 287 ABS 288 MAX 289 MIN 290
%token PLUS 291 MINUS 292 OR 293 MUL 294 DIV 295 EQ 296 NE 297 GT 298 GE 299 LT 300 LE 301
%token AND 302

%type <label> if_head
%type <node> expression

/* An else belongs to the nearest unmatched if. */
%precedence THEN
%precedence ELSE

/* The language's own levels: comparisons and && bind like multiplication, || like addition,
   and the unary operators tightest of all. */
%left PLUS MINUS OR
%left MUL DIV EQ NE GT GE LT LE AND
%precedence UNARY

%%

program
    : statement_list
    ;

statement_list
    : %empty
    | statement_list statement
    ;

statement
    : SEMICOLON
    | LBRACE statement_list RBRACE
    | error SEMICOLON           { yyerrok; compiler->ClearNodes(); }
    | error RBRACE              { yyerrok; compiler->ClearNodes(); }
    | assignment SEMICOLON
    | if_head statement %prec THEN
                                { compiler->Emit(velmor::kOpLabel, $1); }
    | if_head statement ELSE
        <label>{                /* the else mark: jump over the else branch, then the
                                   if-head's label starts it */
                                  $$ = compiler->NewLabel();
                                  compiler->Emit(velmor::kOpJump, $$);
                                  compiler->Emit(velmor::kOpLabel, $1);
                                }
      statement                 { compiler->Emit(velmor::kOpLabel, $4); }
    ;

assignment
    : IDENT ASSIGN expression   { compiler->GenerateTree($3);
                                  compiler->ClearNodes();
                                  compiler->Emit(velmor::kOpPop, $1); }
    | Z ASSIGN expression       { compiler->GenerateTree($3);
                                  compiler->ClearNodes();
                                  compiler->Emit(velmor::kOpPop, $1); }
    ;

if_head
    : IF LPAREN expression RPAREN
                                { compiler->GenerateTree($3);
                                  compiler->ClearNodes();
                                  $$ = compiler->NewLabel();
                                  compiler->Emit(velmor::kOpJumpFalse, $$); }
    ;

expression
    : expression PLUS expression    { $$ = compiler->NewNode(velmor::kSubAdd, $1, $3); }
    | expression MINUS expression   { $$ = compiler->NewNode(velmor::kSubSub, $1, $3); }
    | expression MUL expression     { $$ = compiler->NewNode(velmor::kSubMul, $1, $3); }
    | expression DIV expression     { $$ = compiler->NewNode(velmor::kSubDiv, $1, $3); }
    | expression EQ expression      { $$ = compiler->NewNode(velmor::kSubEq, $1, $3); }
    | expression NE expression      { $$ = compiler->NewNode(velmor::kSubNe, $1, $3); }
    | expression GT expression      { $$ = compiler->NewNode(velmor::kSubGt, $1, $3); }
    | expression GE expression      { $$ = compiler->NewNode(velmor::kSubGe, $1, $3); }
    | expression LT expression      { $$ = compiler->NewNode(velmor::kSubLt, $1, $3); }
    | expression LE expression      { $$ = compiler->NewNode(velmor::kSubLe, $1, $3); }
    | expression AND expression     { $$ = compiler->NewNode(velmor::kSubAnd, $1, $3); }
    | expression OR expression      { $$ = compiler->NewNode(velmor::kSubOr, $1, $3); }
    | MINUS expression %prec UNARY  { $$ = Unary(compiler, velmor::kSubNeg, $2); }
    | NOT expression %prec UNARY    { $$ = Unary(compiler, velmor::kSubNot, $2); }
    | SIN LPAREN expression RPAREN  { $$ = Unary(compiler, velmor::kSubSin, $3); }
    | COS LPAREN expression RPAREN  { $$ = Unary(compiler, velmor::kSubCos, $3); }
    | TAN LPAREN expression RPAREN  { $$ = Unary(compiler, velmor::kSubTan, $3); }
    | ASIN LPAREN expression RPAREN { $$ = Unary(compiler, velmor::kSubAsin, $3); }
    | ACOS LPAREN expression RPAREN { $$ = Unary(compiler, velmor::kSubAcos, $3); }
    | ATAN LPAREN expression RPAREN { $$ = Unary(compiler, velmor::kSubAtan, $3); }
    | SINH LPAREN expression RPAREN { $$ = Unary(compiler, velmor::kSubSinh, $3); }
    | COSH LPAREN expression RPAREN { $$ = Unary(compiler, velmor::kSubCosh, $3); }
    | TANH LPAREN expression RPAREN { $$ = Unary(compiler, velmor::kSubTanh, $3); }
    | EXP LPAREN expression RPAREN  { $$ = Unary(compiler, velmor::kSubExp, $3); }
    | LN LPAREN expression RPAREN   { $$ = Unary(compiler, velmor::kSubLn, $3); }
    | LOG LPAREN expression RPAREN  { $$ = Unary(compiler, velmor::kSubLog, $3); }
    | LOG10 LPAREN expression RPAREN
                                    { $$ = Unary(compiler, velmor::kSubLog10, $3); }
    | POW LPAREN expression COMMA expression RPAREN
                                    { $$ = compiler->NewNode(velmor::kSubPow, $3, $5); }
    | SQRT LPAREN expression RPAREN { $$ = Unary(compiler, velmor::kSubSqrt, $3); }
    | ABS LPAREN expression RPAREN  { $$ = Unary(compiler, velmor::kSubAbs, $3); }
    | MAX LPAREN expression COMMA expression RPAREN
                                    { $$ = compiler->NewNode(velmor::kSubMax, $3, $5); }
    | MIN LPAREN expression COMMA expression RPAREN
                                    { $$ = compiler->NewNode(velmor::kSubMin, $3, $5); }
    | LPAREN expression RPAREN      { $$ = $2; }
    | IDENT                         { $$ = compiler->NewLeaf(velmor::kLeafVariable, $1, 0.0); }
    | Z                             { $$ = compiler->NewLeaf(velmor::kLeafVariable, $1, 0.0); }
    | NUMBER                        { $$ = compiler->NewLeaf(velmor::kLeafNumber, 0, $1); }
    | PI                            { $$ = compiler->NewLeaf(velmor::kLeafPi, 0, $1); }
    | X                             { $$ = compiler->NewLeaf(velmor::kLeafX, 0, 0.0); }
    | Y                             { $$ = compiler->NewLeaf(velmor::kLeafY, 0, 0.0); }
    ;

%%

static_assert(int{TOK_IDENT} == velmor::kTokIdent && int{TOK_Z} == velmor::kTokZ &&
              int{TOK_NUMBER} == velmor::kTokNumber && int{TOK_ELSE} == velmor::kTokElse &&
              int{TOK_NOT} == velmor::kTokNot && int{TOK_SIN} == velmor::kTokSin &&
              int{TOK_MIN} == velmor::kTokMin && int{TOK_PLUS} == velmor::kTokPlus &&
              int{TOK_AND} == velmor::kTokAnd,
              "the grammar's terminals carry the lexer's token codes");

static int velmor_yylex(VELMOR_YYSTYPE* value, velmor::Compiler* compiler) {
    velmor::TokenValue token;
    int code = compiler->TheLexer().Next(&token);
    switch (code) {
        case velmor::kTokIdent:
        case velmor::kTokZ: value->ident = token.ident; break;
        case velmor::kTokNumber:
        case velmor::kTokPi: value->number = token.number; break;
        default: break;
    }
    return code;
}

/* Counts one compile error and quotes the line of the last token read. The skeleton calls
   this for a syntax error outside error mode and when its stack is full. */
static void velmor_yyerror(velmor::Compiler* compiler, const char* message) {
    const char* text = std::strcmp(message, "memory exhausted") == 0 ? "parser stack overflow"
                                                                      : "syntax error";
    compiler->Log().ErrorWithLine(text, compiler->TheLexer().CurrentLine());
}

int velmor::ParseScript(velmor::Compiler* compiler) { return velmor_yyparse(compiler); }
