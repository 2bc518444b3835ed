// A bound on what waits in a machine's external queue, in a unit of the application's choosing (bytes,
// sentences): a put gets in only with a ticket for its weight, and the ticket gives the weight back
// when the engine takes the signal. Asked before the signal is made, so a refusal costs nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>

class CFsmBudget
{
    struct Account
    {
        explicit Account(std::size_t limit) : limit(limit) {}
        const std::size_t limit;
        std::atomic<std::size_t> used{0};
    };

public:
    // Gives its weight back when it goes. An empty ticket weighs nothing.
    class Ticket
    {
    public:
        Ticket() = default;
        Ticket(Ticket&& other) noexcept = default;
        ~Ticket()
        {
            if (m_account)
                m_account->used.fetch_sub(m_weight);
        }

    private:
        friend class CFsmBudget;
        Ticket(std::shared_ptr<Account> account, std::size_t weight)
            : m_account(std::move(account)), m_weight(weight)
        {
        }
        // Shared: a ticket still queued when its budget's owner goes must not give back to nothing.
        std::shared_ptr<Account> m_account;
        std::size_t m_weight = 0;
    };

    explicit CFsmBudget(std::size_t limit) : m_account(std::make_shared<Account>(limit)) {}

    // A ticket for weight while all that waits stays within the limit; none past it. Any thread.
    std::optional<Ticket> Take(std::size_t weight)
    {
        std::size_t used = m_account->used.load();
        do
        {
            if (weight > m_account->limit - used)
                return std::nullopt;
        } while (!m_account->used.compare_exchange_weak(used, used + weight));
        return Ticket(m_account, weight);
    }

    std::size_t Used() const { return m_account->used.load(); }
    std::size_t Limit() const { return m_account->limit; }

private:
    std::shared_ptr<Account> m_account;
};
