// The page's side of the lab's worker, with a stand-in for the Worker that records what it is sent
// and answers when told to.
import assert from "node:assert/strict";
import {test} from "node:test";

import {WorkerClient} from "../../web/worker_client.js";
import {FakeWorker as BaseWorker} from "./fake_worker.mjs";

// The lab's worker answers request `id` with `fields`.
class FakeWorker extends BaseWorker {
    answer(id, fields, last = true) {
        this.reply({request: id, last, ...fields});
    }
}

function client() {
    const workers = [];
    const replies = [];
    const settled = [];
    const crashes = [];
    const c = new WorkerClient(() => {
        const w = new FakeWorker();
        workers.push(w);
        return w;
    }, {
        onReply: (reply, request) => replies.push({type: reply.type, id: request.id,
                                                   kind: request.kind, local: request.local}),
        onSettled: (request) => settled.push(request.id),
        onCrash: (event, lost) => crashes.push({message: event.message,
                                                lost: lost.map((r) => r.id)}),
    });
    return {c, workers, replies, settled, crashes};
}

test("requests carry ids, and the worker is sent their fields and transfers", () => {
    const {c, workers} = client();
    const buffer = new ArrayBuffer(4);
    const a = c.send("open", {name: "a.png", buffer}, {transfer: [buffer], local: {quiet: false}});
    const b = c.send("render", {settings: {step: 8}});
    assert.notEqual(a, b);
    assert.deepEqual(workers[0].sent, [
        {message: {id: a, kind: "open", name: "a.png", buffer}, transfer: [buffer]},
        {message: {id: b, kind: "render", settings: {step: 8}}, transfer: []},
    ]);
});

test("a reply to a superseded request is dropped, the current one delivered", () => {
    const cases = [
        {
            what: "a render superseded by a later render",
            requests: ["render", "render"],
            answers: [[0, "shown"], [0, "figures", true], [1, "shown"], [1, "figures", true]],
            delivered: [[1, "shown"], [1, "figures"]],
        },
        {
            what: "replies in the other order",
            requests: ["render", "render"],
            answers: [[1, "shown"], [0, "shown"], [1, "figures", true], [0, "figures", true]],
            delivered: [[1, "shown"], [1, "figures"]],
        },
        {
            what: "a block inspected before another was clicked",
            requests: ["inspect", "inspect"],
            answers: [[0, "report", true], [1, "report", true]],
            delivered: [[1, "report"]],
        },
        {
            what: "a render and an inspection of the picture before an open",
            requests: ["render", "inspect", "open"],
            answers: [[0, "shown"], [0, "figures", true], [1, "report", true],
                      [2, "opened", true]],
            delivered: [[2, "opened"]],
        },
        {
            what: "a render after an open is the open's picture's",
            requests: ["open", "render"],
            answers: [[0, "opened", true], [1, "shown"], [1, "figures", true]],
            delivered: [[0, "opened"], [1, "shown"], [1, "figures"]],
        },
        {
            what: "requests of other kinds leave each other current",
            requests: ["render", "inspect"],
            answers: [[1, "report", true], [0, "shown"], [0, "figures", true]],
            delivered: [[1, "report"], [0, "shown"], [0, "figures"]],
        },
        {
            what: "a later open supersedes an earlier one",
            requests: ["open", "open"],
            answers: [[0, "failed", true], [1, "opened", true]],
            delivered: [[1, "opened"]],
        },
    ];
    for (const c of cases) {
        const {c: lab, workers, replies} = client();
        const ids = c.requests.map((kind) => lab.send(kind));
        for (const [n, type, last = false] of c.answers) workers[0].answer(ids[n], {type}, last);
        assert.deepEqual(replies.map((r) => [r.id, r.type]),
                         c.delivered.map(([n, type]) => [ids[n], type]), c.what);
    }
});

test("a request is pending until its last reply, stale or not, and then settled", () => {
    const {c, workers, settled} = client();
    const first = c.send("render");
    assert.equal(c.pending("render"), true);
    assert.equal(c.pending("open"), false);
    const open = c.send("open");
    workers[0].answer(first, {type: "shown"}, false);
    assert.equal(c.pending("render"), true, "the figures are still to come");
    workers[0].answer(first, {type: "figures"});
    assert.equal(c.pending("render"), false, "a dropped last reply frees the worker all the same");
    assert.deepEqual(settled, [first]);
    workers[0].answer(open, {type: "opened"});
    assert.equal(c.pending("open"), false);
    assert.deepEqual(settled, [first, open]);
});

test("replies to no request of this worker are ignored", () => {
    const {c, workers, replies} = client();
    const id = c.send("render");
    workers[0].answer(id + 100, {type: "shown"});
    workers[0].answer(id, {type: "figures"});
    workers[0].answer(id, {type: "figures"});  // once answered for good, no more
    assert.deepEqual(replies.map((r) => r.type), ["figures"]);
});

test("a worker that ends is replaced; what it left unanswered is lost, never delivered", () => {
    const {c, workers, replies, crashes} = client();
    const open = c.send("open", {}, {local: {name: "huge.png"}});
    const render = c.send("render");
    assert.equal(workers[0].crash("out of memory"), true, "the page handles the error");
    assert.equal(workers[0].terminated, true);
    assert.equal(workers.length, 2);
    assert.deepEqual(crashes, [{message: "out of memory", lost: [open, render]}]);
    assert.equal(c.pending("open"), false);
    assert.equal(c.pending("render"), false);
    // A message of the old worker that was on its way is not taken for the new one's.
    workers[0].answer(open, {type: "opened"});
    const again = c.send("open");
    assert.notEqual(again, open);
    assert.equal(workers[1].sent.length, 1);
    workers[1].answer(again, {type: "opened"});
    assert.deepEqual(replies.map((r) => [r.id, r.type]), [[again, "opened"]]);
});

test("a reply comes back with the request's page-side data", () => {
    const {c, workers, replies} = client();
    const local = {file: {name: "a.kvrn"}, quiet: true};
    const id = c.send("open", {name: "a.kvrn"}, {local});
    assert.equal("local" in workers[0].sent[0].message, false, "it is not sent to the worker");
    workers[0].answer(id, {type: "opened"});
    assert.equal(replies[0].local, local);
});
